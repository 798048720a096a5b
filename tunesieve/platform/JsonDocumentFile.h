#pragma once

#include <QJsonObject>
#include <QString>
#include <sys/stat.h>

// One JSON object kept in one file, read and replaced whole. It remembers the identity (device,
// inode, size, modification time) of the file it last read or wrote, so that it can tell whether
// another program replaced the file since. A write goes to a temporary file in the same folder, is
// synced and renamed over the old one; a path that is a symbolic link stays one, the write going
// to the file it leads to. A file that is not a JSON object is never overwritten: the next write
// first moves it aside as "<name>.corrupt-<UTC time>", with one line on standard error.
//
// Not thread-safe: one thread at a time, handing it over with a happens-before (a mutex).
class JsonDocumentFile
{
public:
    enum class State
    {
        Usable,
        Corrupt,
        Unreadable
    };
    enum class SaveResult
    {
        Saved,
        Failed,
        FileChanged
    };

    // Removes what a crash in the middle of a write left beside the file.
    explicit JsonDocumentFile(QString path);

    // Whether a file can live at `path`: its folder exists or can be created, and the path is either
    // free or a readable regular file.
    static bool canOpen(const QString& path);

    QString path() const { return m_path; }
    // What the last read found; a write makes the file usable.
    State state() const { return m_state; }

    // Whether the file on disk is another than the one last read or written (never read counts).
    bool hasChanged() const;
    // Reads the file: its object, empty when the file is absent, corrupt or unreadable.
    QJsonObject read();
    // Replaces the file with `document`, unless another program replaced it since it was last read
    // or written (FileChanged: nothing written) or the file is unreadable (Failed).
    SaveResult write(const QJsonObject& document);
    // Why the last write failed, as the system tells it ("No space left on device").
    QString writeError() const { return m_writeError; }

    // One line on standard error about this file.
    static void report(const QString& message);

private:
    struct Identity
    {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        qint64 modifiedNs = 0;
        bool operator==(const Identity& other) const;
    };

    static Identity identityOf(const struct stat& info);
    Identity currentIdentity() const;
    bool moveCorruptFileAside(const QString& target);
    // Reports and keeps why saving failed; Failed.
    SaveResult fail(const QString& reason);

    QString m_path;
    Identity m_identity;
    bool m_known = false;
    State m_state = State::Usable;
    QString m_writeError;
};
