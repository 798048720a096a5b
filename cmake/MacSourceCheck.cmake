# Writes mac-sources.txt into the build folder for scripts/check-mac-sources: the compiler flags of a
# macOS build (its Qt modules' include folders and definitions, QtDBus not among them, and ours), one a line, then
# every file that the macOS build compiles, as the CMake lists choose them.
get_property(mac_sources GLOBAL PROPERTY TUNESIEVE_MAC_BUILT_SOURCES)
get_property(mac_include_dirs GLOBAL PROPERTY TUNESIEVE_MAC_INCLUDE_DIRS)
list(FILTER mac_sources INCLUDE REGEX "\\.cpp$")
set(mac_qt_modules Core Gui Widgets Network)
if(TARGET Qt6::Test)
    list(APPEND mac_qt_modules Test)
    list(APPEND mac_flags "-DTUNESIEVE_TEST_DATA_DIR=\"${PROJECT_SOURCE_DIR}/tests/data\"")
endif()
foreach(module IN LISTS mac_qt_modules)
    string(APPEND mac_qt_flags "-I$<JOIN:$<TARGET_PROPERTY:Qt6::${module},INTERFACE_INCLUDE_DIRECTORIES>,\n-I>\n"
                               "-D$<JOIN:$<TARGET_PROPERTY:Qt6::${module},INTERFACE_COMPILE_DEFINITIONS>,\n-D>\n")
endforeach()
list(TRANSFORM mac_include_dirs PREPEND "-I")
list(APPEND mac_flags ${mac_include_dirs})
list(JOIN mac_flags "\n" mac_flags)
list(JOIN mac_sources "\n" mac_sources)
file(GENERATE OUTPUT "${PROJECT_BINARY_DIR}/mac-sources.txt" CONTENT "${mac_qt_flags}${mac_flags}\n${mac_sources}\n")
