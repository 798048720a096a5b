#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>

// Turns device identifiers and network prefixes into keyed hashes (HMAC-SHA-256, cut to 128 bits),
// so that what the database holds names no device and no address, and cannot be matched against a
// list of guessed identifiers without the key.
class KeyedHasher
{
public:
    explicit KeyedHasher(QByteArray secret) : m_secret(std::move(secret)) {}

    // The key kept in `directory`, made from the system's random source at the first start and
    // readable by its owner only. Nothing, with `error` set, when it cannot be read or made.
    static std::optional<KeyedHasher> fromDirectory(const QString& directory, QString* error);

    std::string deviceHash(const QString& deviceId) const;
    std::string networkHash(const std::string& networkPrefix) const;

private:
    std::string hash(const QByteArray& purpose, const QByteArray& value) const;

    QByteArray m_secret;
};
