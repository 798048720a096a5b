#pragma once

#include "JsonDocumentFile.h"

#include <QJsonObject>
#include <QString>
#include <QVariant>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

// Saves a JSON document file on the savers' thread (one for the process), so that encoding,
// serialising, writing and syncing never hold up the thread that changes the document. Changes are
// saved in the order they were queued; changes that queue up while a save runs are saved together,
// in one write. When another program replaced the file meanwhile, the queued keys are applied to
// its version instead, so that neither edit is lost. When a save fails (a full disk), the file stays
// as it was and the changes are kept, to be saved again with the next change or on retry(); only a
// file that cannot be read drops them, as it is never written over.
//
// While changes are queued or being saved, the file belongs to the savers' thread; finished() hands
// it back.
class JsonDocumentSaver
{
public:
    // `onFailure` runs on the savers' thread each time saving ends with changes it could not save.
    JsonDocumentSaver(JsonDocumentFile& file, std::function<void()> onFailure);
    // Waits until everything queued is saved.
    ~JsonDocumentSaver();

    JsonDocumentSaver(const JsonDocumentSaver&) = delete;
    JsonDocumentSaver& operator=(const JsonDocumentSaver&) = delete;

    // Queues setting `key` to `value` (an invalid value removes the key). `document` is the document
    // as last read from the file, with no change since: it is taken only when nothing is queued or
    // saving, and later changes apply to what the earlier ones left.
    void queue(const QJsonObject& document, const QString& key, const QVariant& value);
    // Saves again the changes that failed to save, on `document` as queue() takes it.
    void retry(const QJsonObject& document);

    struct Outcome
    {
        // The document as it now stands in the file.
        QJsonObject document;
        // True when the file holds what the queued changes alone do not tell: another program's
        // change that was merged, or a failed save.
        bool fileDiffers = false;
        // Why changes are kept unsaved, when they are.
        std::optional<QString> failure;
    };
    // Nothing while changes are queued or being saved; once all are saved, what they came to, and the
    // file is the caller's again.
    std::optional<Outcome> finished();

    // Returns once everything queued so far is in the file (or failed to get there).
    void waitUntilSaved();

private:
    struct Change
    {
        QString key;
        QVariant value;
    };

    // The last change of each key, in no particular order.
    static std::vector<Change> latestPerKey(const std::vector<Change>& changes);
    // Under the lock: makes sure saveQueued() is due, on `document` unless the file is the saver's.
    void schedule(const QJsonObject& document);
    // Runs on the savers' thread: saves what is queued, and comes again while more is.
    void saveQueued();
    // Applies `changes` to the document and saves it; true when the file ends up differing from
    // what the changes alone make of the document. Sets `failure` when the changes are not saved
    // and are to be kept.
    bool save(const std::vector<Change>& changes, std::optional<QString>& failure);

    JsonDocumentFile& m_file;
    const std::function<void()> m_onFailure;
    std::mutex m_mutex;
    std::condition_variable m_saved;
    std::vector<Change> m_queue;
    // The changes that the last save could not save, and why; they go first into the next one.
    std::vector<Change> m_failed;
    std::optional<QString> m_failure;
    // Changes were queued since finished() last handed the file back.
    bool m_active = false;
    // saveQueued() is due or running.
    bool m_scheduled = false;
    bool m_fileDiffers = false;
    // The savers' thread's own copy, touched by the other thread only while m_active is false.
    QJsonObject m_document;
};
