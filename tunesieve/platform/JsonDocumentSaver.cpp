#include "JsonDocumentSaver.h"

#include "JsonPreferenceValue.h"
#include "MemoryAllocator.h"

#include <QSet>
#include <QStringList>
#include <QThreadPool>

namespace {

// One thread saves for every domain of the process, in the order their saves were queued; it is made
// once, rather than one per domain.
QThreadPool& saversThread()
{
    static QThreadPool* const pool = [] {
        auto* created = new QThreadPool;
        created->setMaxThreadCount(1);
        return created;
    }();
    return *pool;
}

// How often a save starts over on a file that another program keeps replacing.
const int kSaveAttempts = 10;

void apply(QJsonObject& document, const QString& key, const QVariant& value)
{
    if (value.isValid()) {
        document.insert(key, JsonPreferenceValue::toJson(value));
    } else {
        document.remove(key);
    }
}

} // namespace

std::vector<JsonDocumentSaver::Change> JsonDocumentSaver::latestPerKey(const std::vector<Change>& changes)
{
    // Kept for as long as the disk is full, a list of 100 000 names set again and again must not pile up.
    std::vector<Change> latest;
    QSet<QString> seen;
    for (auto change = changes.crbegin(); change != changes.crend(); ++change) {
        if (!seen.contains(change->key)) {
            seen.insert(change->key);
            latest.push_back(*change);
        }
    }
    return latest;
}

JsonDocumentSaver::JsonDocumentSaver(JsonDocumentFile& file, std::function<void()> onFailure)
    : m_file(file), m_onFailure(std::move(onFailure))
{}

JsonDocumentSaver::~JsonDocumentSaver()
{
    waitUntilSaved();
}

void JsonDocumentSaver::queue(const QJsonObject& document, const QString& key, const QVariant& value)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.push_back({key, value});
    schedule(document);
}

void JsonDocumentSaver::retry(const QJsonObject& document)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    schedule(document);
}

void JsonDocumentSaver::schedule(const QJsonObject& document)
{
    if (!m_active) {
        m_document = document;
        m_active = true;
    }
    if (!std::exchange(m_scheduled, true)) {
        saversThread().start([this] { saveQueued(); });
    }
}

std::optional<JsonDocumentSaver::Outcome> JsonDocumentSaver::finished()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_scheduled) {
        return std::nullopt;
    }
    m_active = false;
    return Outcome{m_document, std::exchange(m_fileDiffers, false), m_failure};
}

void JsonDocumentSaver::waitUntilSaved()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_saved.wait(lock, [this] { return !m_scheduled; });
}

void JsonDocumentSaver::saveQueued()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    std::vector<Change> changes = std::exchange(m_failed, {});
    changes.insert(changes.end(), m_queue.begin(), m_queue.end());
    m_queue.clear();
    lock.unlock();
    std::optional<QString> failure;
    const bool differs = save(changes, failure);
    releaseFreedMemory();
    lock.lock();
    m_fileDiffers = m_fileDiffers || differs;
    m_failure = failure;
    if (failure) {
        m_failed = latestPerKey(changes);
    }
    if (!m_queue.empty()) {
        // Behind the other domains' saves, so that one that is changed without pause starves none.
        saversThread().start([this] { saveQueued(); });
        return;
    }
    if (m_failure) {
        m_onFailure();
    }
    m_scheduled = false;
    // Under the lock: once it is released, the saver may be gone.
    m_saved.notify_all();
}

bool JsonDocumentSaver::save(const std::vector<Change>& changes, std::optional<QString>& failure)
{
    QStringList keys;
    for (const Change& change : changes) {
        apply(m_document, change.key, change.value);
        keys.append(change.key);
    }
    keys.removeDuplicates();
    bool differs = false;
    for (int attempt = 0; attempt < kSaveAttempts; ++attempt) {
        switch (m_file.write(m_document)) {
        case JsonDocumentFile::SaveResult::Saved:
            return differs;
        case JsonDocumentFile::SaveResult::Failed:
            if (m_file.state() == JsonDocumentFile::State::Unreadable) {
                JsonDocumentFile::report(QStringLiteral("cannot read %1; leaving it untouched and not saving \"%2\"")
                                             .arg(m_file.path(), keys.join(QStringLiteral("\", \""))));
            } else {
                failure = m_file.writeError();
            }
            // The document follows the file again; kept changes are applied to it anew when saved again.
            m_document = m_file.read();
            return true;
        case JsonDocumentFile::SaveResult::FileChanged: {
            // Another program replaced the file since it was read: start over from its version.
            QJsonObject theirs = m_file.read();
            for (const QString& key : std::as_const(keys)) {
                const auto ours = m_document.constFind(key);
                ours == m_document.constEnd() ? void(theirs.remove(key)) : void(theirs.insert(key, *ours));
            }
            m_document = std::move(theirs);
            differs = true;
            break;
        }
        }
    }
    JsonDocumentFile::report(QStringLiteral("%1 keeps changing; saving \"%2\" later")
                                 .arg(m_file.path(), keys.join(QStringLiteral("\", \""))));
    failure = QStringLiteral("another program keeps changing the file");
    m_document = m_file.read();
    return true;
}
