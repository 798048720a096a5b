#pragma once

#include "JsonDocumentFile.h"
#include "JsonDocumentSaver.h"
#include "PreferencesDomain.h"

#include <QHash>
#include <QJsonObject>
#include <QTimer>

// A preferences domain kept as one JSON object in one file (see JsonDocumentFile for how the file
// is read and replaced, and JsonPreferenceValue for how values keep their type). Every read first
// checks whether another program changed the file since it was last parsed. Every write is seen
// by the next read at once and saved on the saver's thread, in order; a write whose file another
// program replaced meanwhile is applied to that file instead, so that neither edit is lost. While
// writes are on their way the domain answers from what it holds; it looks at the file again once
// they have landed.
//
// A write that cannot be saved (a full disk) stays in the domain, and reads answer it; it is saved
// again with the next write and by a retry 5 s later, the wait doubling with every failure up to
// 5 minutes. A file that is not a JSON object is never overwritten: before the first write it is
// moved aside. A file that cannot be read is never written over at all, and a write to it is dropped.
class JsonPreferencesDomain : public PreferencesDomain
{
public:
    // Removes what a crash in the middle of a write left beside the file.
    explicit JsonPreferencesDomain(QString path);

    // Whether a domain can live at `path`: its folder exists or can be created, and the path is
    // either free or a readable regular file.
    static bool canOpen(const QString& path) { return JsonDocumentFile::canOpen(path); }

    QString path() const { return m_file.path(); }

    QVariant value(const QString& key) override;
    void setValue(const QString& key, const QVariant& value) override;
    // Every setValue() is on its way to the disk already, in order; waitUntilSaved() waits for it.
    void synchronize() override {}
    quint64 revision(const QString& key) override;
    QStringList keys() override;

    void waitUntilSaved() override;

    // Saves again the writes that could not be saved; the retry timer runs it.
    void retrySave();
    // How long the retry timer waits this time, or 0 when no retry is due.
    int retryIntervalMs() const { return m_retryTimer.isActive() ? m_retryTimer.interval() : 0; }

private:
    // Takes in what the saver's writes came to, once they have all landed: true when the file is
    // this thread's again and reading it is safe.
    bool ownsFile();
    // Plans the retry and tells of the failure, or ends both once the writes are saved.
    void takeSaveOutcome(const std::optional<QString>& failure);
    void refresh();
    // Takes `document` as what the file holds, marking the keys whose values it changes.
    void replaceDocument(const QJsonObject& document);
    void markChanged(const QString& key);

    JsonDocumentFile m_file;
    QJsonObject m_document;
    // The values written and not yet in the file, as they read.
    QHash<QString, QVariant> m_unsaved;
    // Writes went to the saver since it last handed the file back.
    bool m_handedOver = false;
    QTimer m_retryTimer;
    int m_retryDelayMs;
    bool m_loaded = false;
    QHash<QString, quint64> m_keyRevisions;
    quint64 m_changeCount = 0;
    // Last, so that it ends (saving what is queued) before the file, the document and the timer go.
    JsonDocumentSaver m_saver;
};
