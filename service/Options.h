#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

// The command line of tunesieve-community: one command and its options.
struct Options
{
    enum class Command
    {
        serve,
        pending,
        status,
        approve,
        reject,
        remove,
    };
    Command command = Command::serve;
    // The artist of approve, reject and remove.
    QString name;
    QString dataDirectory;
    // sqlite:PATH or a postgresql:// URL; empty for DIR/community.sqlite.
    std::string database;
    std::string listen = "127.0.0.1:8080";
    std::int64_t threshold = 3;
    std::int64_t deviceFlagsPerHour = 30;
    std::int64_t networkFlagsPerHour = 120;
    // How long a client has to send a whole request, and how long a connection may stay idle.
    std::int64_t readTimeoutSeconds = 10;
    std::optional<std::string> tlsCertificate;
    std::optional<std::string> tlsKey;
    bool trustForwardedFor = false;
    QString reason;

    // The options, or the reason why the command line is not one.
    static std::variant<Options, std::string> parse(int argc, const char* const* argv);
    static const char* usage();
};
