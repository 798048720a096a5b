#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <optional>

// One per-user domain of typed preference values: strings, booleans, arrays of strings and dates.
// A value of any other kind that stands in the domain is kept as it is and reads as "not of the
// expected type" from the typed getters.
class PreferencesDomain
{
public:
    virtual ~PreferencesDomain() = default;

    // The value under `key`, or an invalid QVariant when there is none. Strings come back as
    // QString, booleans as bool, arrays made only of strings as QStringList, dates as QDateTime.
    virtual QVariant value(const QString& key) = 0;
    // Stores `value` under `key`; an invalid QVariant removes the key.
    virtual void setValue(const QString& key, const QVariant& value) = 0;
    // Flushes the domain to permanent storage.
    virtual void synchronize() = 0;
    // Returns once every value set so far has reached permanent storage or failed to, for a domain that
    // writes on a thread of its own; at once for one that writes as it is told.
    virtual void waitUntilSaved() {}
    // A number that changes whenever the value under `key` may have changed, by this process or
    // another one. Callers may cache what they derived from that value while it stays the same.
    virtual quint64 revision(const QString& key) = 0;
    // The keys that hold a value, in no particular order.
    virtual QStringList keys() = 0;

    // Tells `onFailure` why changes cannot be saved (a full disk: "No space left on device"), on this
    // domain's thread: once when saving starts to fail, and again only after it has worked in between.
    // Until they are saved, the changes stay in the domain and reads answer them.
    void setSaveFailureHandler(std::function<void(const QString& reason)> onFailure);

    std::optional<QString> string(const QString& key);
    // The strings of an array: an element of another kind (a number a hand edit left) is passed over,
    // and costs none of the others.
    std::optional<QStringList> stringArray(const QString& key);
    std::optional<QDateTime> date(const QString& key);
    // A boolean, a number other than zero, or the text YES or true (any case) reads true; anything
    // else, an absent key included, reads false.
    bool boolean(const QString& key);

protected:
    // What the latest save came to, for the domains to report.
    void saveSucceeded() { m_saveFailing = false; }
    void saveFailed(const QString& reason);

private:
    std::function<void(const QString& reason)> m_onSaveFailure;
    bool m_saveFailing = false;
};
