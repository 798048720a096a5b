#include "platform/OsascriptNotifier.h"
#include "platform/linux/DBusNotifier.h"
#include "support/PrivateBus.h"
#include "support/TestNotificationServer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Reads one AppleScript string literal starting at `pos` (just past its opening quote) the way the
// AppleScript compiler does: \" and \\ are escapes, an unescaped " ends it.
std::optional<QString> readStringLiteral(const QString& script, qsizetype& pos)
{
    QString text;
    while (pos < script.size()) {
        const QChar c = script.at(pos++);
        if (c == u'"') {
            return text;
        }
        if (c == u'\\' && pos < script.size()) {
            const QChar escaped = script.at(pos++);
            if (escaped != u'"' && escaped != u'\\') {
                text.append(u'\\');
            }
            text.append(escaped);
            continue;
        }
        text.append(c);
    }
    return std::nullopt;
}

// Parses `display notification "BODY" with title "TITLE"` and nothing else.
std::optional<std::pair<QString, QString>> parseNotificationScript(const QString& script)
{
    const QString head = QStringLiteral("display notification \"");
    const QString middle = QStringLiteral(" with title \"");
    if (!script.startsWith(head)) {
        return std::nullopt;
    }
    qsizetype pos = head.size();
    const auto body = readStringLiteral(script, pos);
    if (!body || script.mid(pos, middle.size()) != middle) {
        return std::nullopt;
    }
    pos += middle.size();
    const auto title = readStringLiteral(script, pos);
    if (!title || pos != script.size()) {
        return std::nullopt;
    }
    return std::make_pair(*body, *title);
}

} // namespace

class TestNotifier : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_bus.isRunning()); }

    void osascriptScriptKeepsEveryTextInsideItsLiteral_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("body");
        QTest::newRow("plain") << "Blacklisted artist (local)"
                               << "Skipped: Night Owls - Hoot";
        QTest::newRow("quotes") << "Say \"hi\""
                                << "\" with title \"owned";
        QTest::newRow("backslashes") << "C:\\path\\"
                                     << "ends in a backslash \\";
        QTest::newRow("escape pair") << "\\\""
                                     << "\\\\\"\"";
        QTest::newRow("line breaks") << "two\nlines"
                                     << "a\r\nb\" & (do shell script \"rm -rf ~\") & \"";
    }

    void osascriptScriptKeepsEveryTextInsideItsLiteral()
    {
        QFETCH(QString, title);
        QFETCH(QString, body);
        const QString script = OsascriptNotifier::script(title, body);
        const auto parsed = parseNotificationScript(script);
        QVERIFY2(parsed, qPrintable(script));
        QCOMPARE(parsed->first, body);
        QCOMPARE(parsed->second, title);
    }

    void osascriptIsStartedWithTwoArguments()
    {
        QTemporaryDir dir;
        const QString runner = dir.filePath("osascript");
        const QString record = dir.filePath("arguments");
        QFile script(runner);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(
            QStringLiteral("#!/bin/sh\nprintf '%s\\0' \"$@\" > '%1.tmp' && mv '%1.tmp' '%1'\n").arg(record).toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        OsascriptNotifier(runner).show("Title \"1\"", "Body \\ 2");
        QTRY_VERIFY(QFile::exists(record));
        QFile arguments(record);
        QVERIFY(arguments.open(QIODevice::ReadOnly));
        const QList<QByteArray> received = arguments.readAll().split('\0');
        QCOMPARE(received.size(), 3); // two arguments, each ended by a NUL
        QCOMPARE(received[0], QByteArray("-e"));
        QCOMPARE(QString::fromUtf8(received[1]), OsascriptNotifier::script("Title \"1\"", "Body \\ 2"));

        OsascriptNotifier(dir.filePath("missing")).show("t", "b"); // fails silently
    }

    void dbusNotifyReachesTheServer()
    {
        DBusNotifier notifier;
        notifier.show("lost", "no server yet"); // dropped, never queued
        QTest::qWait(100);

        TestNotificationServer server(m_bus.connect("plain-server"), {"body", "actions"});
        QVERIFY(server.isRegistered());
        notifier.show("Blacklisted artist (local)", "Skipped: A & B <x> - T");
        QTRY_COMPARE(server.received().size(), 1);
        const auto notification = server.received().first();
        QCOMPARE(notification.appName, QStringLiteral("TuneSieve"));
        QCOMPARE(notification.summary, QStringLiteral("Blacklisted artist (local)"));
        QCOMPARE(notification.body, QStringLiteral("Skipped: A & B <x> - T"));
        QCOMPARE(notification.timeout, -1);
    }

    void dbusBodyIsEscapedWhereTheServerRendersMarkup()
    {
        TestNotificationServer server(m_bus.connect("markup-server"), {"body", "body-markup"});
        QVERIFY(server.isRegistered());
        DBusNotifier notifier;
        notifier.show("A & <b>", "Skipped: A & B <i>x</i> - T");
        notifier.show("second", "1 > 0");
        QTRY_COMPARE(server.received().size(), 2);
        QCOMPARE(server.received().at(0).summary, QStringLiteral("A & <b>"));
        QCOMPARE(server.received().at(0).body, QStringLiteral("Skipped: A &amp; B &lt;i&gt;x&lt;/i&gt; - T"));
        QCOMPARE(server.received().at(1).body, QStringLiteral("1 &gt; 0"));
    }

private:
    PrivateBus m_bus;
};

QTEST_GUILESS_MAIN(TestNotifier)
#include "tst_Notifier.moc"
