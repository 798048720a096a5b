# How the agent is installed: as TuneSieve.app on macOS; on Linux into bin/ and share/ of any
# prefix, and as a Debian package (cpack -G DEB in the build folder).

if(APPLE)
    # An accessory bundle (LSUIElement: no Dock icon) with its status icon in Contents/Resources,
    # where platform/mac/PlatformBackends_mac.cpp looks, beside the bundle's icon (scripts/icon draws
    # it). Qt's frameworks are not copied in: scripts/sign-mac runs macdeployqt on the installed
    # bundle to make it stand alone, and signs it.
    set(bundle_resources resources/menubar_icon.png resources/menubar_icon@2x.png resources/tunesieve.icns)
    target_sources(tunesieve PRIVATE ${bundle_resources})
    set_source_files_properties(${bundle_resources} PROPERTIES MACOSX_PACKAGE_LOCATION Resources)
    set_target_properties(tunesieve PROPERTIES
        MACOSX_BUNDLE TRUE
        OUTPUT_NAME TuneSieve
        MACOSX_BUNDLE_INFO_PLIST "${PROJECT_SOURCE_DIR}/resources/Info.plist.in"
        MACOSX_BUNDLE_GUI_IDENTIFIER com.tunesieve.TuneSieve
        MACOSX_BUNDLE_ICON_FILE tunesieve.icns
        MACOSX_BUNDLE_BUNDLE_NAME TuneSieve
        MACOSX_BUNDLE_BUNDLE_VERSION "${PROJECT_VERSION}"
        MACOSX_BUNDLE_SHORT_VERSION_STRING "${PROJECT_VERSION}")
    install(TARGETS tunesieve BUNDLE DESTINATION .)
    return()
endif()

# The installed agent finds its icon in <prefix>/share/tunesieve from <prefix>/bin, wherever the
# prefix is (platform/linux/PlatformBackends_linux.cpp), so these two folders are fixed, not GNUInstallDirs'.
install(TARGETS tunesieve RUNTIME DESTINATION bin)
# The command over the agent's interface on the session bus, and its manual page.
install(TARGETS tunesieve-ctl RUNTIME DESTINATION bin)
install(FILES docs/tunesieve-ctl.1 DESTINATION share/man/man1)
install(FILES resources/menubar_icon.png resources/menubar_icon@2x.png DESTINATION share/tunesieve)
# Listed in the application menu; a copy in ~/.config/autostart starts the agent at login.
install(FILES resources/tunesieve.desktop DESTINATION share/applications)
install(FILES resources/tunesieve.png DESTINATION share/icons/hicolor/256x256/apps)
# With the tray icon, which tray hosts look up by name and draw in their panel's colours (the PNGs
# above are its fallback).
install(FILES resources/tunesieve.svg resources/tunesieve-symbolic.svg DESTINATION share/icons/hicolor/scalable/apps)
# A systemd user unit, for machines without a desktop. It names the agent by its installed path,
# known only at install time (--prefix, the package's /usr), and sits where `systemctl --user`
# looks under /usr, /usr/local and ~/.local.
install(CODE "set(TUNESIEVE_BINARY \"\${CMAKE_INSTALL_PREFIX}/bin/tunesieve\")
    configure_file(\"${PROJECT_SOURCE_DIR}/resources/tunesieve.service.in\" \"${PROJECT_BINARY_DIR}/tunesieve.service\" @ONLY)")
install(FILES "${PROJECT_BINARY_DIR}/tunesieve.service" DESTINATION share/systemd/user)
# The community service, for those who run one: its binary and a system unit, which systemd finds under
# /usr/lib/systemd/system (the package's) and /etc/systemd/system, and which names the binary by its
# installed path. It stays disabled until an operator enables it.
if(TUNESIEVE_BUILD_SERVICE)
    install(TARGETS tunesieve-community RUNTIME DESTINATION bin)
    install(CODE "set(TUNESIEVE_COMMUNITY_BINARY \"\${CMAKE_INSTALL_PREFIX}/bin/tunesieve-community\")
        configure_file(\"${PROJECT_SOURCE_DIR}/service/deploy/tunesieve-community.service.in\"
                       \"${PROJECT_BINARY_DIR}/tunesieve-community.service\" @ONLY)")
    install(FILES "${PROJECT_BINARY_DIR}/tunesieve-community.service" DESTINATION lib/systemd/system)
    install(FILES service/deploy/tunesieve-community.nginx DESTINATION share/tunesieve)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tunesieve)
set(CPACK_PACKAGE_VENDOR TuneSieve)
set(CPACK_PACKAGE_CONTACT "TuneSieve Dev <dev@tunesieve.app>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION "TuneSieve lives in the system tray and skips songs by artists you do not
want to hear, above all AI-generated music. It watches the MPRIS player that
plays (Spotify, Deezer, mpv, Rhythmbox, a browser...) and moves it on to the
next track when the artist stands on your own blacklist or on the community
blacklist. tunesieve-ctl blocks what plays and reads or changes the lists from
a shell, a script or a key binding, with or without the tray icon.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TUNESIEVE_WEBSITE}")
# The X11 platform plugin came in qt6-qpa-plugins before Debian 12 moved it into libqt6gui6; the
# players are reached over the D-Bus session bus.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, default-dbus-session-bus | dbus-session-bus")
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(DPKG_SHLIBDEPS)
    # The libraries (Qt 6, libxcb, the C++ runtime) and their versions, read from the binary.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), "
           "libqt6widgets6 (>= 6.4), libqt6network6 (>= 6.4), libqt6dbus6 (>= 6.4), libxcb1, libstdc++6, libc6")
endif()
include(CPack)
