// Renders the Blacklist window, filled with a few made-up names, to PNG files for the README: the local list
// (blacklist-local.png) and the community list (blacklist-community.png), in the folder given as argument.
// Runs without a display (Qt's offscreen platform) and on its own temporary preferences file.
#include "platform/JsonPreferencesDomain.h"
#include "widgets/SegmentedControl.h"
#include "widgets/Window.h"
#include "window/BlacklistWindowController.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

namespace {

bool saveWindow(BlacklistWindowController& controller, const QString& path)
{
    QCoreApplication::processEvents();
    if (!controller.window->grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QDir output(QString::fromLocal8Bit(argv[1]));
    QTemporaryDir preferences;
    auto store = std::make_shared<BlacklistManager>(
        std::make_unique<JsonPreferencesDomain>(preferences.filePath(QStringLiteral("com.tunesieve.blacklist.json"))));
    store->setLocalArtists({"velvet echo machine", "the neural crooners", "synthetic sunday", "lofi dreamer 404"});
    store->setCommunityArtists(ArtistSet::fromNames(
        {"ai lullaby factory", "ambient prompt", "beats by nobody", "chill generator", "deep fake jazz",
         "endless lo-fi", "frozen algorithm", "ghost playlist", "hollow harmonics", "infinite focus", "jazz from a box",
         "kinetic filler", "lost in latent space", "muzak engine", "neon nobody", "overfit orchestra", "pixel piano"}));

    BlacklistWindowController controller(store);
    controller.show();
    if (!saveWindow(controller, output.filePath(QStringLiteral("blacklist-local.png")))) {
        return 1;
    }
    store->setNeverSkipArtists({"the real drummer", "human after all"});
    controller.segmentedControl->setSelectedSegment(1);
    controller.segmentChanged();
    if (!saveWindow(controller, output.filePath(QStringLiteral("blacklist-community.png")))) {
        return 1;
    }
    controller.refreshData();
    controller.segmentedControl->setSelectedSegment(2);
    controller.segmentChanged();
    return saveWindow(controller, output.filePath(QStringLiteral("blacklist-never-skip.png"))) ? 0 : 1;
}
