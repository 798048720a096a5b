#include "JsonPreferencesDomain.h"

#include "JsonPreferenceValue.h"

#include <QStringList>

namespace {

const int kFirstRetryMs = 5 * 1000;
const int kLongestRetryMs = 5 * 60 * 1000;

} // namespace

JsonPreferencesDomain::JsonPreferencesDomain(QString path)
    : m_file(std::move(path)), m_retryDelayMs(kFirstRetryMs),
      // Hears of a failed save at once, on this domain's thread, to tell the user and plan the retry.
      m_saver(m_file, [this] {
          QMetaObject::invokeMethod(
              &m_retryTimer, [this] { ownsFile(); }, Qt::QueuedConnection);
      })
{
    m_retryTimer.setSingleShot(true);
    QObject::connect(&m_retryTimer, &QTimer::timeout, &m_retryTimer, [this] { retrySave(); });
}

quint64 JsonPreferencesDomain::revision(const QString& key)
{
    if (ownsFile()) {
        refresh();
    }
    return m_keyRevisions.value(key, 0);
}

QVariant JsonPreferencesDomain::value(const QString& key)
{
    if (ownsFile()) {
        refresh();
    }
    const auto unsaved = m_unsaved.constFind(key);
    if (unsaved != m_unsaved.constEnd()) {
        return *unsaved;
    }
    const auto found = m_document.constFind(key);
    return found == m_document.constEnd() ? QVariant() : JsonPreferenceValue::fromJson(*found);
}

QStringList JsonPreferencesDomain::keys()
{
    if (ownsFile()) {
        refresh();
    }
    QStringList keys = m_document.keys();
    for (auto unsaved = m_unsaved.cbegin(); unsaved != m_unsaved.cend(); ++unsaved) {
        keys.removeOne(unsaved.key());
        if (unsaved->isValid()) {
            keys.append(unsaved.key());
        }
    }
    return keys;
}

void JsonPreferencesDomain::setValue(const QString& key, const QVariant& value)
{
    if (ownsFile()) {
        refresh();
        if (m_file.state() == JsonDocumentFile::State::Unreadable) {
            JsonDocumentFile::report(
                QStringLiteral("cannot read %1; leaving it untouched and not saving \"%2\"").arg(path(), key));
            return;
        }
    }
    m_saver.queue(m_document, key, value);
    m_handedOver = true;
    // Read back as the file will give it (a date in UTC, say). A list of strings comes back as it
    // went in, and encoding a long one here would cost what the saver's thread is there to spare.
    m_unsaved.insert(key, !value.isValid() || value.typeId() == QMetaType::QStringList
                              ? value
                              : JsonPreferenceValue::fromJson(JsonPreferenceValue::toJson(value)));
    markChanged(key);
}

void JsonPreferencesDomain::waitUntilSaved()
{
    m_saver.waitUntilSaved();
    ownsFile();
}

void JsonPreferencesDomain::retrySave()
{
    // While a save is on its way, it takes the kept writes along.
    if (!ownsFile() || m_unsaved.isEmpty()) {
        return;
    }
    refresh();
    m_saver.retry(m_document);
    m_handedOver = true;
}

bool JsonPreferencesDomain::ownsFile()
{
    if (!m_handedOver) {
        return true;
    }
    const std::optional<JsonDocumentSaver::Outcome> outcome = m_saver.finished();
    if (!outcome) {
        return false;
    }
    m_handedOver = false;
    if (outcome->fileDiffers) {
        // Another program's change merged, or a failed save: what the file holds now counts as changed,
        // and so does every value written, which may not have landed.
        for (auto it = m_unsaved.cbegin(); it != m_unsaved.cend(); ++it) {
            markChanged(it.key());
        }
        replaceDocument(outcome->document);
    } else {
        m_document = outcome->document;
    }
    takeSaveOutcome(outcome->failure);
    return true;
}

void JsonPreferencesDomain::takeSaveOutcome(const std::optional<QString>& failure)
{
    if (failure) {
        m_retryTimer.start(m_retryDelayMs);
        m_retryDelayMs = std::min(2 * m_retryDelayMs, kLongestRetryMs);
        saveFailed(*failure);
        return;
    }
    m_unsaved.clear();
    m_retryTimer.stop();
    m_retryDelayMs = kFirstRetryMs;
    saveSucceeded();
}

void JsonPreferencesDomain::markChanged(const QString& key)
{
    m_keyRevisions.insert(key, ++m_changeCount);
}

void JsonPreferencesDomain::refresh()
{
    if (m_loaded && !m_file.hasChanged()) {
        return;
    }
    replaceDocument(m_file.read());
    m_loaded = true;
}

void JsonPreferencesDomain::replaceDocument(const QJsonObject& document)
{
    const QJsonObject previous = std::exchange(m_document, document);
    // Only the keys whose values differ count as changed, so that what callers derived from the
    // others (a normalised list of 100 000 names) stays valid.
    QStringList keys = previous.keys() + m_document.keys();
    keys.removeDuplicates();
    for (const QString& key : std::as_const(keys)) {
        if (previous.value(key) != m_document.value(key)) {
            markChanged(key);
        }
    }
}
