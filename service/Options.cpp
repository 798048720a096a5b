#include "Options.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>

namespace {

using Command = Options::Command;

constexpr std::array<const char*, 6> commandNames = {"serve", "pending", "status", "approve", "reject", "remove"};

// Which commands take an option: serve alone, the ones that read the list, the decisions, or all.
enum Takers
{
    serveOnly = 1 << int(Command::serve),
    listing = serveOnly | 1 << int(Command::pending) | 1 << int(Command::status),
    deciding = 1 << int(Command::approve) | 1 << int(Command::reject) | 1 << int(Command::remove),
    everyCommand = listing | deciding,
};

struct OptionRule
{
    const char* name;
    int takers;
    // Null for a switch; else stores the value, false when it is not valid.
    std::function<bool(Options&, const char*)> take;
};

bool takeCount(std::int64_t& target, const char* value)
{
    char* end = nullptr;
    const long long parsed = std::strtoll(value, &end, 10);
    target = parsed;
    return *value && !*end && parsed >= 1 && parsed <= 1000000;
}

const std::array<OptionRule, 11> rules = {{
    {"--data", everyCommand,
     [](Options& o, const char* v) { return !(o.dataDirectory = QString::fromUtf8(v)).isEmpty(); }},
    {"--database", everyCommand, [](Options& o, const char* v) { return !(o.database = v).empty(); }},
    {"--listen", serveOnly, [](Options& o, const char* v) { return !(o.listen = v).empty(); }},
    {"--threshold", listing, [](Options& o, const char* v) { return takeCount(o.threshold, v); }},
    {"--device-flags-per-hour", serveOnly,
     [](Options& o, const char* v) { return takeCount(o.deviceFlagsPerHour, v); }},
    {"--network-flags-per-hour", serveOnly,
     [](Options& o, const char* v) { return takeCount(o.networkFlagsPerHour, v); }},
    {"--read-timeout", serveOnly, [](Options& o, const char* v) { return takeCount(o.readTimeoutSeconds, v); }},
    {"--tls-cert", serveOnly, [](Options& o, const char* v) { return !(o.tlsCertificate = v)->empty(); }},
    {"--tls-key", serveOnly, [](Options& o, const char* v) { return !(o.tlsKey = v)->empty(); }},
    {"--trust-forwarded-for", serveOnly, nullptr},
    {"--reason", deciding, [](Options& o, const char* v) { return (o.reason = QString::fromUtf8(v)), true; }},
}};

} // namespace

const char* Options::usage()
{
    return "usage: tunesieve-community serve --data DIR [--listen HOST:PORT] [--database URL]\n"
           "                                 [--tls-cert FILE --tls-key FILE] [--threshold N]\n"
           "                                 [--device-flags-per-hour N] [--network-flags-per-hour N]\n"
           "                                 [--read-timeout SECONDS] [--trust-forwarded-for]\n"
           "       tunesieve-community pending|status --data DIR [--database URL] [--threshold N]\n"
           "       tunesieve-community approve|reject|remove NAME --data DIR [--database URL] [--reason TEXT]\n";
}

std::variant<Options, std::string> Options::parse(int argc, const char* const* argv)
{
    Options options;
    if (argc < 2) {
        return std::string("no command given");
    }
    const auto command = std::find_if(commandNames.begin(), commandNames.end(),
                                      [&](const char* name) { return std::strcmp(name, argv[1]) == 0; });
    if (command == commandNames.end()) {
        return std::string("unknown command: ") + argv[1];
    }
    options.command = Command(command - commandNames.begin());
    int next = 2;
    const int commandBit = 1 << int(options.command);
    if (commandBit & deciding) {
        if (argc <= next || std::strncmp(argv[next], "--", 2) == 0) {
            return std::string("the command needs the artist's name");
        }
        options.name = QString::fromUtf8(argv[next++]);
    }
    for (; next < argc; ++next) {
        const auto rule = std::find_if(rules.begin(), rules.end(), [&](const OptionRule& candidate) {
            return std::strcmp(candidate.name, argv[next]) == 0;
        });
        if (rule == rules.end() || !(rule->takers & commandBit)) {
            return std::string("the command does not take ") + argv[next];
        }
        if (!rule->take) {
            options.trustForwardedFor = true;
        } else if (next + 1 >= argc || !rule->take(options, argv[++next])) {
            return std::string("no valid value for ") + rule->name;
        }
    }
    if (options.dataDirectory.isEmpty()) {
        return std::string("--data DIR is required");
    }
    if (options.tlsCertificate.has_value() != options.tlsKey.has_value()) {
        return std::string("--tls-cert and --tls-key go together");
    }
    return options;
}
