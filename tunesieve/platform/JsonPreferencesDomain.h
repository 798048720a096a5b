#pragma once

#include "PreferencesDomain.h"

#include <QHash>
#include <QJsonObject>
#include <sys/stat.h>

// A preferences domain kept as one JSON object in one file. Values keep their type; a date is
// written as {"$date": "2026-12-06T19:55:40.123Z"}. Every write replaces the file atomically (a
// temporary file in the same folder, synced, then renamed), and every read first checks whether
// another program changed the file since it was last parsed. A write whose file another program
// replaced meanwhile reads that file again and applies its one change to it, so that neither edit
// is lost. A path that is a symbolic link stays one: writes go to the file it leads to.
//
// A file that is not a JSON object is never overwritten: before the first write it is moved aside
// as "<name>.corrupt-<UTC time>", with one line on standard error. A file that cannot be read is
// never written over at all.
class JsonPreferencesDomain : public PreferencesDomain
{
public:
    // Removes what a crash in the middle of a write left beside the file.
    explicit JsonPreferencesDomain(QString path);

    // Whether a domain can live at `path`: its folder exists or can be created, and the path is
    // either free or a readable regular file.
    static bool canOpen(const QString& path);

    QString path() const { return m_path; }

    QVariant value(const QString& key) override;
    void setValue(const QString& key, const QVariant& value) override;
    // Every setValue() has already reached the disk; there is nothing left to flush.
    void synchronize() override {}
    quint64 revision(const QString& key) override;

private:
    struct FileIdentity
    {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        qint64 modifiedNs = 0;
        bool operator==(const FileIdentity& other) const;
    };
    enum class FileState
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

    static FileIdentity identityOf(const struct stat& info);

    void refresh();
    void load(const FileIdentity& identity);
    FileState readDocument(const FileIdentity& identity);
    void markChanged(const QString& key);
    bool isStillTheFileRead() const;
    bool moveCorruptFileAside(const QString& target);
    SaveResult writeDocument();

    QString m_path;
    QJsonObject m_document;
    FileIdentity m_identity;
    bool m_loaded = false;
    FileState m_state = FileState::Usable;
    QHash<QString, quint64> m_keyRevisions;
    quint64 m_changeCount = 0;
};
