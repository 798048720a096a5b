#include "JsonDocumentSaver.h"

#include "JsonPreferenceValue.h"
#include "MemoryAllocator.h"

#include <QStringList>

namespace {

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

JsonDocumentSaver::JsonDocumentSaver(JsonDocumentFile& file) : m_file(file), m_thread([this] { run(); }) {}

JsonDocumentSaver::~JsonDocumentSaver()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void JsonDocumentSaver::queue(const QJsonObject& document, const QString& key, const QVariant& value)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_active) {
            m_document = document;
            m_active = true;
        }
        m_queue.push_back({key, value});
    }
    m_changed.notify_all();
}

std::optional<JsonDocumentSaver::Outcome> JsonDocumentSaver::finished()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_saving || !m_queue.empty()) {
        return std::nullopt;
    }
    m_active = false;
    return Outcome{m_document, std::exchange(m_fileDiffers, false)};
}

void JsonDocumentSaver::waitUntilSaved()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_saving && m_queue.empty(); });
}

void JsonDocumentSaver::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty()) {
            return; // stopping, and everything is saved
        }
        const std::vector<Change> changes = std::exchange(m_queue, {});
        m_saving = true;
        lock.unlock();
        const bool differs = save(changes);
        releaseFreedMemory();
        lock.lock();
        m_saving = false;
        m_fileDiffers = m_fileDiffers || differs;
        m_changed.notify_all();
    }
}

bool JsonDocumentSaver::save(const std::vector<Change>& changes)
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
            }
            // What is on disk is still the truth: forget the changes rather than pretend they were kept.
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
    JsonDocumentFile::report(
        QStringLiteral("%1 keeps changing; not saving \"%2\"").arg(m_file.path(), keys.join(QStringLiteral("\", \""))));
    m_document = m_file.read();
    return true;
}
