// Renders the Blacklist window, filled with a few made-up names, to PNG files for the README: the local list
// (blacklist-local.png), the community list (blacklist-community.png), the never-skip list
// (blacklist-never-skip.png) and the blocked songs (blacklist-songs.png), and the Subscribed lists window with two
// lists (subscribed-lists.png), in the folder given as argument. Runs without a display (Qt's offscreen platform) and
// on its own temporary preferences file.
#include "platform/JsonPreferencesDomain.h"
#include "widgets/SegmentedControl.h"
#include "widgets/Window.h"
#include "window/BlacklistWindowController.h"
#include "window/ListSubscriptionsWindowController.h"

#include <QApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cstdio>

namespace {

bool saveWindow(QWidget* window, const QString& path)
{
    QCoreApplication::processEvents();
    if (!window->grab().save(path)) {
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
    auto domain =
        std::make_unique<JsonPreferencesDomain>(preferences.filePath(QStringLiteral("com.tunesieve.blacklist.json")));
    // Two subscriptions as the store keeps them: one list that came this morning, one whose address went away.
    const auto entry = [](const QString& url, const QString& name, bool enabled, const QDateTime& updated,
                          const QString& error, int count) {
        const QJsonObject object{{"url", url},         {"name", name},
                                 {"enabled", enabled}, {"updated", updated.toUTC().toString(Qt::ISODateWithMs)},
                                 {"error", error},     {"count", count}};
        return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    };
    const QDateTime now = QDateTime::currentDateTime();
    domain->setValue(QStringLiteral("listSubscriptions"),
                     QStringList{entry("https://raw.githubusercontent.com/CennoxX/spotify-ai-blocker/main/"
                                       "SpotifyAiArtists.csv",
                                       "SpotifyAiArtists", true, now.addSecs(-3 * 3600), {}, 7512),
                                 entry("https://example.org/ai-artists.json", "AI artists (CC BY 4.0)", false,
                                       now.addDays(-7), "the server answered 404", 1402)});
    auto store = std::make_shared<BlacklistManager>(std::move(domain), CommunitySettings(), preferences.path());
    store->setLocalArtists({"velvet echo machine", "the neural crooners", "synthetic sunday", "lofi dreamer 404"});
    store->setCommunityArtists(ArtistSet::fromNames(
        {"ai lullaby factory", "ambient prompt", "beats by nobody", "chill generator", "deep fake jazz",
         "endless lo-fi", "frozen algorithm", "ghost playlist", "hollow harmonics", "infinite focus", "jazz from a box",
         "kinetic filler", "lost in latent space", "muzak engine", "neon nobody", "overfit orchestra", "pixel piano"}));

    BlacklistWindowController controller(store);
    controller.show();
    if (!saveWindow(controller.window.get(), output.filePath(QStringLiteral("blacklist-local.png")))) {
        return 1;
    }
    store->setNeverSkipArtists({"the real drummer", "human after all"});
    controller.segmentedControl->setSelectedSegment(1);
    controller.segmentChanged();
    if (!saveWindow(controller.window.get(), output.filePath(QStringLiteral("blacklist-community.png")))) {
        return 1;
    }
    controller.refreshData();
    controller.segmentedControl->setSelectedSegment(2);
    controller.segmentChanged();
    if (!saveWindow(controller.window.get(), output.filePath(QStringLiteral("blacklist-never-skip.png")))) {
        return 1;
    }
    store->blockSongs({{"paper satellites", "slow orbit (ai remix)"}, {"the real drummer", "one more take"}});
    controller.refreshData();
    controller.segmentedControl->setSelectedSegment(3);
    controller.segmentChanged();
    if (!saveWindow(controller.window.get(), output.filePath(QStringLiteral("blacklist-songs.png")))) {
        return 1;
    }
    ListSubscriptionsWindowController lists(store);
    lists.show();
    return saveWindow(lists.window.get(), output.filePath(QStringLiteral("subscribed-lists.png"))) ? 0 : 1;
}
