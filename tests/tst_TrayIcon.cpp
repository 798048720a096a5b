#include "support/DelegateHarness.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTest>

namespace {

bool run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Whether `area` shows a dark drawing on the light panel (the bare screen around it is black).
bool showsIconOnPanel(const QImage& screen, const QRect& area)
{
    int dark = 0;
    int light = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const int gray = qGray(screen.pixel(x, y));
            dark += gray < 100 ? 1 : 0;
            light += gray > 180 ? 1 : 0;
        }
    }
    return dark > 10 && light > 10;
}

} // namespace

// The status item on a real X display (tests/with-x.sh starts one), with a tray host that comes up
// after the agent, as a panel started at login may.
class TestTrayIcon : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            QSKIP("needs an X display of its own: run it through tests/with-x.sh");
        }
        QVERIFY(QDir().mkpath(TUNESIEVE_ARTIFACT_DIR));
    }

    void showsTheIconAndOpensTheMenuOnAClick()
    {
        DelegateHarness h;
        h.player.play("Night Owls", "Hoot");
        h.delegate.setupMenuBar();
        h.delegate.checkCurrentTrack();
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());

        QProcess trayHost;
        trayHost.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "32",
                                  "--SetDockType", "true", "--transparent", "false", "--tint", "0xe0e0e0"});
        QVERIFY(trayHost.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);

        QVERIFY(h.delegate.statusMenuItem()->icon().isMask()); // the real icon, found beside the binary
        // The tray host sits at the top right; the item is there once the host has embedded it.
        QRect iconArea;
        QTRY_VERIFY_WITH_TIMEOUT((iconArea = h.delegate.statusMenuItem()->geometry()).left() > 0, 10000);
        QTest::qWait(300); // let the tray host paint

        const QString screenshot = QStringLiteral(TUNESIEVE_ARTIFACT_DIR "/tray.png");
        QVERIFY(run("import", {"-window", "root", screenshot}));
        QVERIFY2(showsIconOnPanel(QImage(screenshot), iconArea), "the icon is not on the screen");

        const QPoint centre = iconArea.center();
        QVERIFY(run("xdotool", {"mousemove", QString::number(centre.x()), QString::number(centre.y()), "click", "1"}));
        QMenu* menu = h.delegate.statusMenuItem()->menu();
        QTRY_VERIFY_WITH_TIMEOUT(menu->isVisible(), 10000);
        QCOMPARE(menu->actions().first()->text(), QStringLiteral("Artist: Night Owls"));
        QTest::qWait(300);
        QVERIFY(run("import", {"-window", "root", QStringLiteral(TUNESIEVE_ARTIFACT_DIR "/tray-menu.png")}));
        menu->hide();
        trayHost.kill();
        trayHost.waitForFinished();
    }
};

QTEST_MAIN(TestTrayIcon)
#include "tst_TrayIcon.moc"
