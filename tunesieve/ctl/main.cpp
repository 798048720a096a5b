// tunesieve-ctl: controls the running TuneSieve agent over its interface on the session bus
// (org.tunesieve.TuneSieve at /org/tunesieve/TuneSieve, interface org.tunesieve.TuneSieve1).
#include "CommandLine.h"
#include "ReplyText.h"
#include "SkipFollower.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <cstdio>

namespace {

enum ExitCode
{
    done = 0,
    refused = 1,
    usage = 2,
    noAgent = 3
};

const QString kService = QStringLiteral("org.tunesieve.TuneSieve");
const QString kPath = QStringLiteral("/org/tunesieve/TuneSieve");
const QString kInterface = QStringLiteral("org.tunesieve.TuneSieve1");
// Long enough for a download of the community list.
constexpr int kCallTimeoutMs = 5 * 60 * 1000;

int fail(ExitCode code, const QString& message)
{
    std::fprintf(stderr, "tunesieve-ctl: %s\n", qUtf8Printable(message));
    return code;
}

// Calls the agent; answers the exit code and, when it answered, its reply.
int call(const QDBusConnection& bus, const QString& interface, const QString& method, const QVariantList& arguments,
         QVariant* reply)
{
    QDBusMessage request = QDBusMessage::createMethodCall(kService, kPath, interface, method);
    request.setArguments(arguments);
    const QDBusMessage answer = bus.call(request, QDBus::Block, kCallTimeoutMs);
    if (answer.type() == QDBusMessage::ErrorMessage) {
        const bool absent = answer.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
                            answer.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
        return absent ? fail(noAgent, QStringLiteral("TuneSieve is not running (nothing owns ") + kService +
                                          QStringLiteral(" on the session bus)"))
                      : fail(refused, answer.errorMessage());
    }
    *reply = ReplyText::plain(answer.arguments().value(0));
    return done;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QString usageError;
    const CommandLine line = CommandLine::parse(QCoreApplication::arguments().mid(1), &usageError);
    if (line.help) {
        std::fputs(CommandLine::usage, stdout);
        return done;
    }
    if (!usageError.isEmpty()) {
        return fail(usage, usageError + QStringLiteral("; see tunesieve-ctl --help"));
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return fail(noAgent, QStringLiteral("no session bus: ") + bus.lastError().message());
    }
    QVariant reply;
    if (line.method != QLatin1String("Skipped")) {
        const int code = call(bus, kInterface, line.method, line.arguments, &reply);
        const QByteArray text = line.json ? ReplyText::json(reply) : ReplyText::lines(reply, line.fields);
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        return code;
    }
    // Following: listening first, so that no skip falls between the check and the listening.
    SkipFollower follower(line.fields, line.json);
    if (!bus.connect(kService, kPath, kInterface, line.method, &follower, SLOT(print(QDBusMessage)))) {
        return fail(refused, QStringLiteral("cannot listen for skips: ") + bus.lastError().message());
    }
    if (const int code = call(bus, QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"), {}, &reply)) {
        return code;
    }
    return app.exec();
}
