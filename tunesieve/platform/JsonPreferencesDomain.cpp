#include "JsonPreferencesDomain.h"

#include "FileTimes.h"
#include "JsonText.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QLatin1String kDateMember("$date");
const QLatin1String kTemporarySuffix(".tmp-");
// mkstemp() replaces these six characters with letters and digits.
const QByteArray kTemporaryPattern("XXXXXX");
// How often a write starts over on a file that another program keeps replacing.
const int kSaveAttempts = 10;
// A temporary file lives for the milliseconds of one write; one this old was left by a crash.
const int kStaleTemporaryAgeSecs = 60;

void reportError(const QString& message)
{
    std::fprintf(stderr, "tunesieve: %s\n", qUtf8Printable(message));
    std::fflush(stderr);
}

QString dateText(const QDateTime& date)
{
    return date.toUTC().toString(Qt::ISODateWithMs);
}

QVariant decode(const QJsonValue& json)
{
    switch (json.type()) {
    case QJsonValue::String:
        return json.toString();
    case QJsonValue::Bool:
        return json.toBool();
    case QJsonValue::Array: {
        QStringList strings;
        const QJsonArray array = json.toArray();
        strings.reserve(array.size());
        for (const QJsonValue& element : array) {
            if (!element.isString()) {
                return QVariant::fromValue(json);
            }
            strings.append(element.toString());
        }
        return strings;
    }
    case QJsonValue::Object: {
        const QJsonObject object = json.toObject();
        if (object.size() == 1 && object.value(kDateMember).isString()) {
            const QDateTime date =
                QDateTime::fromString(object.value(kDateMember).toString(), Qt::ISODateWithMs).toUTC();
            // A time zone can carry a moment out of the years 0001 to 9999, which the date text cannot
            // hold: such a value stays what it is, so that it is written back as it was read.
            if (date.isValid() && !dateText(date).isEmpty()) {
                return date;
            }
        }
        return QVariant::fromValue(json);
    }
    default:
        return QVariant::fromValue(json);
    }
}

QJsonValue encode(const QVariant& value)
{
    switch (value.metaType().id()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::QStringList:
        return QJsonArray::fromStringList(value.toStringList());
    case QMetaType::QDateTime:
        return QJsonObject{{kDateMember, dateText(value.toDateTime())}};
    default:
        // Values read as "other" are written back exactly as they were read.
        return value.value<QJsonValue>();
    }
}

bool statPath(const QString& path, struct stat& info)
{
    return ::stat(QFile::encodeName(path).constData(), &info) == 0;
}

// The file that `path` leads to through any symbolic links, where writes must go so that a link
// (a dotfiles setup) keeps pointing at the file that changes.
QString finalTarget(const QString& path)
{
    QString target = path;
    for (int hops = 0; hops < 40 && QFileInfo(target).isSymLink(); ++hops) {
        target = QFileInfo(target).symLinkTarget();
    }
    return target;
}

bool isTemporaryFileOf(const QString& name, const QString& prefix)
{
    return name.size() == prefix.size() + kTemporaryPattern.size() && name.startsWith(prefix) &&
           std::all_of(name.cbegin() + prefix.size(), name.cend(),
                       [](QChar c) { return c.unicode() < 0x80 && c.isLetterOrNumber(); });
}

void removeStaleTemporaryFiles(const QString& path)
{
    const QFileInfo file(path);
    const QString prefix = file.fileName() + kTemporarySuffix;
    const QDateTime staleBefore = QDateTime::currentDateTimeUtc().addSecs(-kStaleTemporaryAgeSecs);
    const QFileInfoList entries =
        QDir(file.absolutePath()).entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QFileInfo& entry : entries) {
        if (isTemporaryFileOf(entry.fileName(), prefix) && entry.lastModified() < staleBefore) {
            QFile::remove(entry.absoluteFilePath());
        }
    }
}

} // namespace

bool JsonPreferencesDomain::FileIdentity::operator==(const FileIdentity& other) const
{
    return exists == other.exists && device == other.device && inode == other.inode && size == other.size &&
           modifiedNs == other.modifiedNs;
}

JsonPreferencesDomain::FileIdentity JsonPreferencesDomain::identityOf(const struct stat& info)
{
    return {true, info.st_dev, info.st_ino, info.st_size, modificationTimeNs(info)};
}

JsonPreferencesDomain::JsonPreferencesDomain(QString path) : m_path(std::move(path))
{
    removeStaleTemporaryFiles(m_path);
    const QString target = finalTarget(m_path);
    if (target != m_path) {
        removeStaleTemporaryFiles(target);
    }
}

bool JsonPreferencesDomain::canOpen(const QString& path)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return false;
    }
    struct stat info;
    if (!statPath(path, info)) {
        return errno == ENOENT;
    }
    return S_ISREG(info.st_mode) && ::access(QFile::encodeName(path).constData(), R_OK) == 0;
}

quint64 JsonPreferencesDomain::revision(const QString& key)
{
    refresh();
    return m_keyRevisions.value(key, 0);
}

QVariant JsonPreferencesDomain::value(const QString& key)
{
    refresh();
    const auto found = m_document.constFind(key);
    return found == m_document.constEnd() ? QVariant() : decode(*found);
}

void JsonPreferencesDomain::setValue(const QString& key, const QVariant& value)
{
    for (int attempt = 0; attempt < kSaveAttempts; ++attempt) {
        refresh();
        if (m_state == FileState::Unreadable) {
            reportError(QStringLiteral("cannot read %1; leaving it untouched and not saving \"%2\"").arg(m_path, key));
            return;
        }
        if (value.isValid()) {
            m_document.insert(key, encode(value));
        } else {
            m_document.remove(key);
        }
        switch (writeDocument()) {
        case SaveResult::Saved:
            markChanged(key);
            return;
        case SaveResult::Failed:
            // What is on disk is still the truth: forget the change rather than pretend it was kept.
            m_loaded = false;
            refresh();
            return;
        case SaveResult::FileChanged:
            // Another program replaced the file since it was read: start over from its version.
            m_loaded = false;
            break;
        }
    }
    reportError(QStringLiteral("%1 keeps changing; not saving \"%2\"").arg(m_path, key));
    refresh();
}

void JsonPreferencesDomain::markChanged(const QString& key)
{
    m_keyRevisions.insert(key, ++m_changeCount);
}

void JsonPreferencesDomain::refresh()
{
    FileIdentity identity;
    struct stat info;
    if (statPath(m_path, info)) {
        identity = identityOf(info);
    }
    if (m_loaded && identity == m_identity) {
        return;
    }
    load(identity);
}

void JsonPreferencesDomain::load(const FileIdentity& identity)
{
    const QJsonObject previous = std::exchange(m_document, QJsonObject());
    m_loaded = true;
    m_identity = identity;
    m_state = readDocument(identity);
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

JsonPreferencesDomain::FileState JsonPreferencesDomain::readDocument(const FileIdentity& identity)
{
    if (!identity.exists) {
        return FileState::Usable;
    }
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        return FileState::Unreadable;
    }
    // The identity of exactly what is read, should the file have been replaced since refresh().
    struct stat info;
    if (::fstat(file.handle(), &info) == 0) {
        m_identity = identityOf(info);
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return FileState::Unreadable;
    }
    QJsonParseError error;
    const QJsonDocument document = JsonText::parse(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return FileState::Corrupt;
    }
    m_document = document.object();
    return FileState::Usable;
}

bool JsonPreferencesDomain::isStillTheFileRead() const
{
    FileIdentity identity;
    struct stat info;
    if (statPath(m_path, info)) {
        identity = identityOf(info);
    }
    return identity == m_identity;
}

bool JsonPreferencesDomain::moveCorruptFileAside(const QString& target)
{
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString aside = target + QStringLiteral(".corrupt-") + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n) {
        aside = target + QStringLiteral(".corrupt-%1-%2").arg(stamp).arg(n);
    }
    if (!QFile::rename(target, aside)) {
        reportError(
            QStringLiteral("%1 is not valid JSON and could not be moved aside; leaving it untouched").arg(m_path));
        return false;
    }
    reportError(QStringLiteral("%1 is not valid JSON; moved it aside to %2").arg(m_path, aside));
    return true;
}

JsonPreferencesDomain::SaveResult JsonPreferencesDomain::writeDocument()
{
    const QString target = finalTarget(m_path);
    if (m_state == FileState::Corrupt) {
        if (!isStillTheFileRead()) {
            return SaveResult::FileChanged;
        }
        if (!moveCorruptFileAside(target)) {
            return SaveResult::Failed;
        }
        m_identity = FileIdentity();
    }
    m_state = FileState::Usable;

    const QByteArray bytes = JsonText::serialize(QJsonDocument(m_document), QJsonDocument::Indented);
    QByteArray tempPath = QFile::encodeName(target + kTemporarySuffix) + kTemporaryPattern;
    const int fd = ::mkstemp(tempPath.data());
    if (fd < 0) {
        reportError(QStringLiteral("cannot save %1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno))));
        return SaveResult::Failed;
    }
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        written += n;
    }
    struct stat info;
    const bool complete = written == bytes.size() && ::fsync(fd) == 0 && ::fstat(fd, &info) == 0;
    const int savedErrno = errno;
    ::close(fd);
    // Without a lock on the file, a replacement that lands between this check and the rename is
    // still lost; the check narrows that window from the whole write to two system calls.
    if (complete && !isStillTheFileRead()) {
        ::unlink(tempPath.constData());
        return SaveResult::FileChanged;
    }
    if (!complete || ::rename(tempPath.constData(), QFile::encodeName(target).constData()) != 0) {
        const int error = complete ? errno : savedErrno;
        ::unlink(tempPath.constData());
        reportError(QStringLiteral("cannot save %1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(error))));
        return SaveResult::Failed;
    }
    // Make the rename itself durable.
    const int dirFd = ::open(QFile::encodeName(QFileInfo(target).absolutePath()).constData(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    // The renamed file keeps the inode and times of the temporary one, so this is its identity now.
    m_identity = identityOf(info);
    return SaveResult::Saved;
}
