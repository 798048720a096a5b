#pragma once

#include <QList>
#include <QString>
#include <optional>
#include <string>

// A name as the service takes it in, from a flag or a moderator: compared as the agent compares names.
struct ArtistEntry
{
    // The form on which two names are one entry (lower-cased, then NFC), as UTF-8.
    std::string key;
    // The lower-cased name as it is listed, as UTF-8.
    std::string name;

    // The names the agent would keep at most (1 000 characters).
    static constexpr qsizetype maxLength = 1000;

    // The entry for `name`; nothing, with `refusal` set to a short reason, for a name that is empty,
    // longer than maxLength characters, not valid Unicode or holding a control character.
    static std::optional<ArtistEntry> from(const QString& name, QString* refusal);
};
