// Prints what the Blacklist window costs with 100 000 community names (about 90 300 once lower-cased and
// deduplicated) and 1 000 local names, on a real preferences file and real widgets (offscreen): the median time of
// show() on a built window, of one keystroke in the search field until both tables are refreshed and laid out, and
// the number of cell views alive.
#include "platform/JsonPreferencesDomain.h"
#include "widgets/TableView.h"
#include "window/BlacklistWindowController.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

QStringList loadCommunityNames()
{
    QFile file(QStringLiteral(TUNESIEVE_BENCH_DATA_DIR "/community-100k.json"));
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("cannot read the benchmark data");
    }
    QStringList names;
    for (const QJsonValue& name : QJsonDocument::fromJson(file.readAll()).object().value("artists").toArray()) {
        names.append(name.toString());
    }
    return names;
}

struct Figures
{
    double median;
    double worst;
};

Figures milliseconds(int runs, const std::function<void(int)>& operation)
{
    std::vector<double> samples;
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        operation(i);
        samples.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples.back()};
}

qsizetype cellCount(TableView* table)
{
    return table->viewport()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).size();
}

// Runs what is due, deferred deletions of released cells included.
void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path())); // where the downloaded lists go
    auto store = std::make_shared<BlacklistManager>(
        std::make_unique<JsonPreferencesDomain>(dir.filePath(QStringLiteral("com.tunesieve.blacklist.json"))));
    const QStringList names = loadCommunityNames();
    ArtistSet community;
    ArtistSet local;
    for (qsizetype i = 0; i < names.size(); ++i) {
        community.insert(names.at(i).toLower());
        if (i % 100 == 7) {
            local.insert(names.at(i).toLower() + QStringLiteral(" (mine)"));
        }
    }
    store->setCommunityArtists(community);
    store->setLocalArtists(local);

    BlacklistWindowController controller(store);
    QElapsedTimer timer;
    timer.start();
    controller.show();
    settle();
    const double firstShowMs = double(timer.nsecsElapsed()) / 1e6;

    const Figures show = milliseconds(51, [&](int) {
        controller.show();
        settle();
    });

    // Type "night" and take it back again, over and over: every keystroke filters both lists.
    const QString word = QStringLiteral("night");
    const Figures keystroke = milliseconds(200, [&](int i) {
        const int step = i % (2 * int(word.size()));
        if (step < word.size()) {
            QTest::keyClick(controller.searchField, word.at(step).toLatin1());
        } else {
            QTest::keyClick(controller.searchField, Qt::Key_Backspace);
        }
        settle();
    });
    // A local change moves the store's revision, which also asks whether the community list changed.
    const Figures deletion = milliseconds(21, [&](int) {
        QTest::mouseClick(controller.localTableView->indexWidget(controller.localTableView->model()->index(0, 1)),
                          Qt::LeftButton);
        settle();
    });
    QTest::keyClicks(controller.searchField, QStringLiteral("a"));
    settle();
    const qsizetype matchesA = controller.filteredCommunityArtists.size();

    std::printf("community names listed: %lld, local names listed: %lld (search cleared)\n",
                static_cast<long long>(community.size()), static_cast<long long>(local.size()));
    std::printf("first show() (builds, sorts, indexes): %.1f ms\n", firstShowMs);
    std::printf("show() on a built window: median %.2f ms, worst %.2f ms\n", show.median, show.worst);
    std::printf("keystroke in the search field: median %.2f ms, worst %.2f ms\n", keystroke.median, keystroke.worst);
    std::printf("deleting a local name with its row's button: median %.2f ms, worst %.2f ms\n", deletion.median,
                deletion.worst);
    std::printf("community names matching \"a\": %lld\n", static_cast<long long>(matchesA));
    std::printf("cell views alive: local table %lld, community table %lld; widgets in the application: %lld\n",
                static_cast<long long>(cellCount(controller.localTableView)),
                static_cast<long long>(cellCount(controller.communityTableView)),
                static_cast<long long>(QApplication::allWidgets().size()));
    return 0;
}
