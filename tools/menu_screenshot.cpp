// Renders the status menu as the user sees it while a track plays, to menu.png in the folder given
// as argument, for the README. The menu is the agent's own, built by AppDelegate::setupMenuBar and
// filled by a playback check on a scripted player; it runs without a display (Qt's offscreen
// platform) and on its own temporary preferences file.
#include "support/DelegateHarness.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QPainter>

#include <cstdio>

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QString path = QDir(QString::fromLocal8Bit(argv[1])).filePath(QStringLiteral("menu.png"));

    DelegateHarness harness;
    harness.store->setLocalArtists({"velvet echo machine", "the neural crooners"});
    harness.player->play(QStringLiteral("Paper Satellites"), QStringLiteral("Slow Orbit"));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    harness.store->recordSkip(
        {now.addSecs(-420), "Spotify", "Velvet Echo Machine", "Midnight Prompt", "local", "Velvet Echo Machine"});
    harness.store->recordSkip(
        {now.addSecs(-60), "Spotify", "Neon Nobody", "Synthetic Rain", "community", "Neon Nobody"});
    harness.delegate.setupMenuBar();
    harness.delegate.checkCurrentTrack();

    // The menu with its "Recently skipped" submenu open beside it.
    QMenu* menu = harness.delegate.statusMenuItem()->menu();
    menu->popup(QPoint(0, 0));
    QCoreApplication::processEvents();
    QAction* recent = menu->actions().at(6);
    menu->setActiveAction(recent);
    recent->menu()->popup(QPoint(menu->width(), menu->actionGeometry(recent).top()));
    QCoreApplication::processEvents();
    const QPixmap main = menu->grab();
    const QPixmap sub = recent->menu()->grab();
    QPixmap picture(main.width() + sub.width(),
                    std::max(main.height(), menu->actionGeometry(recent).top() + sub.height()));
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.drawPixmap(0, 0, main);
    painter.drawPixmap(main.width(), menu->actionGeometry(recent).top(), sub);
    painter.end();
    if (!picture.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    std::printf("%s\n", qPrintable(path));
    return 0;
}
