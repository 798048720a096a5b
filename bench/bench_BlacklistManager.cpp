// Prints the median time of the store's hot operations for community lists of 1 000, 10 000,
// 100 000 and 1 000 000 (made-up) names, on a real preferences file. The store re-reads the domain on
// every call; these figures show what that costs once the file is unchanged. A track that credits
// three artists costs the split of its artist and title and one look-up per credit. Also the size of
// the preferences file, which every block and skip record rewrites, and how many of the files in the
// data folder (the downloaded lists) the blocks rewrote.
#include "blacklist/ArtistCredits.h"
#include "blacklist/BlacklistManager.h"
#include "platform/JsonPreferencesDomain.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

QStringList loadNames(int count)
{
    if (count > 100000) {
        QStringList names;
        for (int i = 0; i < count; ++i) {
            names.append(QStringLiteral("Artist Nr %1").arg(i));
        }
        return names;
    }
    QFile file(QStringLiteral(TUNESIEVE_BENCH_DATA_DIR "/community-100k.json"));
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("cannot read the benchmark data");
    }
    const QJsonArray artists = QJsonDocument::fromJson(file.readAll()).object().value("artists").toArray();
    QStringList names;
    for (qsizetype i = 0; i < count && i < artists.size(); ++i) {
        names.append(artists.at(i).toString());
    }
    return names;
}

double medianMicroseconds(int runs, const std::function<void(int)>& operation)
{
    std::vector<double> samples;
    samples.reserve(size_t(runs));
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        operation(i);
        samples.push_back(double(timer.nsecsElapsed()) / 1000.0);
    }
    std::nth_element(samples.begin(), samples.begin() + runs / 2, samples.end());
    return samples[size_t(runs / 2)];
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    std::printf("%-10s %18s %22s %24s %22s %16s %22s %16s %18s\n", "names", "contains() µs", "3 credits lookup µs",
                "3 credits split+lookup µs", "localArtists read µs", "addLocal µs", "first read after edit ms",
                "prefs file KiB", "data files rewritten");
    for (const int count : {1000, 10000, 100000, 1000000}) {
        QTemporaryDir dir;
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
        const QString path = dir.filePath(QStringLiteral("com.tunesieve.blacklist.json"));
        BlacklistManager store(std::make_unique<JsonPreferencesDomain>(path));
        ArtistSet community;
        for (const QString& name : loadNames(count)) {
            community.insert(name.toLower());
        }
        store.setCommunityArtists(community);
        for (int i = 0; i < 50; ++i) {
            store.addLocal(QStringLiteral("Local Artist %1").arg(i));
        }

        const double containsUs =
            medianMicroseconds(2001, [&](int) { (void)store.contains(QStringLiteral("Nobody Plays This")); });
        const QStringList artist{QStringLiteral("Nobody"), QStringLiteral("Plays feat. This")};
        const QString title = QStringLiteral("Song (feat. Either)");
        const QStringList credits = ArtistCredits::credits(artist, title); // the whole artist and three credits
        const double creditsUs = medianMicroseconds(2001, [&](int) { (void)store.firstBlocked(credits); });
        const double splitUs =
            medianMicroseconds(2001, [&](int) { (void)store.firstBlocked(ArtistCredits::credits(artist, title)); });
        const double readUs = medianMicroseconds(2001, [&](int) { (void)store.localArtists(); });
        const auto dataFiles = [&] {
            QStringList files;
            for (QDirIterator it(dir.filePath(QStringLiteral("data")), QDir::Files, QDirIterator::Subdirectories);
                 it.hasNext();) {
                const QFileInfo file = it.nextFileInfo();
                files << file.filePath() + QString::number(file.lastModified().toMSecsSinceEpoch()) +
                             QString::number(file.fileTime(QFileDevice::FileMetadataChangeTime).toMSecsSinceEpoch());
            }
            return files;
        };
        const QStringList filesBefore = dataFiles();
        const double addUs = medianMicroseconds(101, [&](int i) { store.addLocal(QStringLiteral("Added %1").arg(i)); });
        // Another writer's change costs one full parse on the next read.
        const double reloadMs = medianMicroseconds(11,
                                                   [&](int i) {
                                                       JsonPreferencesDomain other(path);
                                                       other.setValue(QStringLiteral("touch"), QString::number(i));
                                                       (void)store.contains(QStringLiteral("Nobody Plays This"));
                                                   }) /
                                1000.0;
        store.waitUntilSaved();
        const QStringList filesAfter = dataFiles();
        const auto rewritten = std::count_if(filesAfter.begin(), filesAfter.end(),
                                             [&](const QString& file) { return !filesBefore.contains(file); });
        std::printf("%-10d %18.2f %22.2f %24.2f %22.2f %16.1f %22.1f %16.1f %18lld\n", count, containsUs, creditsUs,
                    splitUs, readUs, addUs, reloadMs, double(QFileInfo(path).size()) / 1024, qint64(rewritten));
    }
    return 0;
}
