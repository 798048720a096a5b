#pragma once

#include <QJsonObject>
#include <QNetworkRequest>
#include <QString>
#include <optional>

// What a server said identifies the copy of a list it sent (its ETag and Last-Modified), tied to the
// stored copy they describe by that copy's checksum (ArtistListFile::checksum()). They are sent back
// only while that very copy is stored, so that a "not modified" answer never stands for a copy that is
// gone, damaged or replaced.
struct ListValidators
{
    QString etag;
    QString lastModified;
    // The checksum of the stored copy they describe.
    quint64 copy = 0;

    // A server may answer "not modified" only to a request that carries validators.
    static constexpr int notModified = 304;

    // The validators of a reply whose body was stored as the copy with checksum `copy`; a value that
    // holds a control character or is longer than 1 KiB is left out.
    static ListValidators ofReply(const QByteArray& etag, const QByteArray& lastModified, quint64 copy);
    // As encoded(); anything else reads as none.
    static ListValidators decoded(const QJsonObject& object);
    QJsonObject encoded() const;

    // Whether the server gave none.
    bool isEmpty() const { return etag.isEmpty() && lastModified.isEmpty(); }
    // Whether there is any to send for the copy now stored (none when there is no valid copy).
    bool describe(std::optional<quint64> storedCopy) const;
    // Adds them to `request` as If-None-Match and If-Modified-Since.
    void addTo(QNetworkRequest& request) const;
};
