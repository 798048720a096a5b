#include "player/OsascriptRunner.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>

// osascript itself only runs on macOS: a shell script stands in for it.
class TestOsascriptRunner : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir folder;

    QString standIn(const QByteArray& body)
    {
        static int count = 0;
        const QString path = folder.filePath(QStringLiteral("osascript-%1").arg(++count));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\n" + body + '\n') < 0) {
            qFatal("cannot write the stand-in osascript");
        }
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

private slots:
    void answersStandardOutputWithoutItsLastLineFeed()
    {
        // Echo the arguments back: "-e", then the source, intact whatever it holds.
        OsascriptRunner echo(standIn(R"(printf '%s|%s\n' "$1" "$2"; echo ignored >&2)"));
        const QString source =
            QStringLiteral("tell application \"Spotify\"\n    return \"é ♫ $HOME `x` |||\"\nend tell");
        QCOMPARE(echo.run(source), QStringLiteral("-e|") + source);

        OsascriptRunner twoLineFeeds(standIn(R"(printf 'a\n\n')"));
        QCOMPARE(twoLineFeeds.run(QStringLiteral("x")), QStringLiteral("a\n"));
        OsascriptRunner noLineFeed(standIn(R"(printf 'true')"));
        QCOMPARE(noLineFeed.run(QStringLiteral("x")), QStringLiteral("true"));
        OsascriptRunner silent(standIn(R"(exit 0)"));
        QCOMPARE(silent.run(QStringLiteral("x")), QString());
    }

    void failuresGiveNoValue()
    {
        OsascriptRunner failing(standIn(R"(echo "execution error: Spotify got an error" >&2; echo partial; exit 1)"));
        QCOMPARE(failing.run(QStringLiteral("x")), std::nullopt);
        OsascriptRunner crashing(standIn(R"(echo partial; kill -SEGV $$)"));
        QCOMPARE(crashing.run(QStringLiteral("x")), std::nullopt);
        OsascriptRunner missing(folder.filePath(QStringLiteral("no-such-osascript")));
        QCOMPARE(missing.run(QStringLiteral("x")), std::nullopt);
    }

    void aScriptPastItsTimeIsKilled()
    {
        const QString pidFile = folder.filePath(QStringLiteral("pid"));
        OsascriptRunner hanging(standIn(QByteArray("echo $$ > '") + pidFile.toUtf8() + "'; exec sleep 30"), 1000);
        QCOMPARE(hanging.run(QStringLiteral("x")), std::nullopt);
        QFile file(pidFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const pid_t pid = pid_t(file.readAll().trimmed().toInt());
        QVERIFY(pid > 0);
        QVERIFY(::kill(pid, 0) == -1 && errno == ESRCH);
    }
};

QTEST_GUILESS_MAIN(TestOsascriptRunner)
#include "tst_OsascriptRunner.moc"
