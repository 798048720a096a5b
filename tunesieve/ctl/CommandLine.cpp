#include "CommandLine.h"

#include <QHash>

namespace {

const QStringList kSkipFields = {"time", "player", "artist", "title", "list", "credit"};

// What a command calls on the agent, whether a name follows it, and the fields of the records it prints.
struct Command
{
    QString method;
    bool takesName = false;
    QStringList fields = {};
};

const QHash<QString, Command>& commands()
{
    static const QHash<QString, Command> commands = {
        {"block", {"BlockPlaying"}},
        {"block NAME", {"Block", true}},
        {"block-song", {"BlockPlayingSong"}},
        {"unblock", {"Unblock", true}},
        {"never-skip", {"NeverSkip", true}},
        {"status", {"Status"}},
        {"skipped", {"RecentSkips", false, kSkipFields}},
        {"sync", {"SyncCommunity"}},
        {"follow", {"Skipped", false, kSkipFields}},
        {"list own", {"ListOwn"}},
        {"list community", {"ListCommunity"}},
        {"list never", {"ListNeverSkip"}},
        {"list songs", {"ListBlockedSongs", false, {"artist", "title"}}},
        {"list subscriptions", {"ListSubscriptions", false, {"name", "enabled", "count", "updated", "error", "url"}}},
    };
    return commands;
}

} // namespace

const char CommandLine::usage[] = R"(Usage: tunesieve-ctl [--json] COMMAND [ARGUMENT]
Controls the TuneSieve agent that runs in this session, over the session bus.

Commands:
  block              block the artist of what plays, as the menu does, and skip it
  block NAME         block NAME; what plays is skipped when it credits NAME
  block-song         block the song that plays, and skip it
  unblock NAME       take NAME off your blacklist
  never-skip NAME    never skip NAME (and take it off your blacklist)
  list [KIND]        print a list, one entry a line; KIND is own (the default),
                     community, never, songs or subscriptions
  status             what plays, on which player, and the size of each list
  skipped            the recent skips, newest first
  sync               download the community list now
  follow             print each skip as it happens, until interrupted

Options:
  --json             print JSON (one document a line) instead of tab-separated lines
  -h, --help         print this help

Exit status: 0 done, 1 the agent refused or failed, 2 bad usage, 3 no agent running.
)";

CommandLine CommandLine::parse(QStringList arguments, QString* usageError)
{
    CommandLine line;
    line.help = arguments.removeAll("--help") + arguments.removeAll("-h") > 0;
    line.json = arguments.removeAll("--json") > 0;
    if (line.help) {
        return line;
    }
    if (arguments.isEmpty()) {
        *usageError = "no command given";
        return line;
    }
    const QString word = arguments.takeFirst();
    QString name = word;
    if (word == "list") {
        name += ' ' + (arguments.isEmpty() ? QString("own") : arguments.takeFirst());
    } else if (word == "block" && !arguments.isEmpty()) {
        name = "block NAME";
    }
    const auto command = commands().constFind(name);
    if (word.contains(' ') || command == commands().cend()) {
        *usageError =
            word == "list"
                ? QString("unknown list \"%1\": own, community, never, songs or subscriptions").arg(name.mid(5))
                : QString("unknown command \"%1\"").arg(word);
        return line;
    }
    if (arguments.size() != int(command->takesName)) {
        *usageError = command->takesName ? QString("\"%1\" needs a name").arg(word)
                                         : QString("\"%1\" takes no more arguments").arg(name);
        return line;
    }
    line.method = command->method;
    line.fields = command->fields;
    for (const QString& argument : std::as_const(arguments)) {
        line.arguments << argument;
    }
    return line;
}
