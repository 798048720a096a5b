#include "JsonDocumentFile.h"

#include "FileTimes.h"
#include "JsonText.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QLatin1String kTemporarySuffix(".tmp-");
// mkstemp() replaces these six characters with letters and digits.
const QByteArray kTemporaryPattern("XXXXXX");
// A temporary file lives for the milliseconds of one write; one this old was left by a crash.
const int kStaleTemporaryAgeSecs = 60;

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

bool JsonDocumentFile::Identity::operator==(const Identity& other) const
{
    return exists == other.exists && device == other.device && inode == other.inode && size == other.size &&
           modifiedNs == other.modifiedNs;
}

JsonDocumentFile::Identity JsonDocumentFile::identityOf(const struct stat& info)
{
    return {true, info.st_dev, info.st_ino, info.st_size, modificationTimeNs(info)};
}

JsonDocumentFile::JsonDocumentFile(QString path) : m_path(std::move(path))
{
    removeStaleTemporaryFiles(m_path);
    const QString target = finalTarget(m_path);
    if (target != m_path) {
        removeStaleTemporaryFiles(target);
    }
}

bool JsonDocumentFile::canOpen(const QString& path)
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

void JsonDocumentFile::report(const QString& message)
{
    std::fprintf(stderr, "tunesieve: %s\n", qUtf8Printable(message));
    std::fflush(stderr);
}

JsonDocumentFile::Identity JsonDocumentFile::currentIdentity() const
{
    struct stat info;
    return statPath(m_path, info) ? identityOf(info) : Identity();
}

bool JsonDocumentFile::hasChanged() const
{
    return !m_known || !(currentIdentity() == m_identity);
}

QJsonObject JsonDocumentFile::read()
{
    m_known = true;
    m_identity = currentIdentity();
    m_state = State::Usable;
    if (!m_identity.exists) {
        return {};
    }
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_state = State::Unreadable;
        return {};
    }
    // The identity of exactly what is read, should the file have been replaced since the stat.
    struct stat info;
    if (::fstat(file.handle(), &info) == 0) {
        m_identity = identityOf(info);
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        m_state = State::Unreadable;
        return {};
    }
    QJsonParseError error;
    const QJsonDocument document = JsonText::parse(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        m_state = State::Corrupt;
        return {};
    }
    return document.object();
}

bool JsonDocumentFile::moveCorruptFileAside(const QString& target)
{
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString aside = target + QStringLiteral(".corrupt-") + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n) {
        aside = target + QStringLiteral(".corrupt-%1-%2").arg(stamp).arg(n);
    }
    if (!QFile::rename(target, aside)) {
        return false;
    }
    report(QStringLiteral("%1 is not valid JSON; moved it aside to %2").arg(m_path, aside));
    return true;
}

JsonDocumentFile::SaveResult JsonDocumentFile::fail(const QString& reason)
{
    m_writeError = reason;
    report(QStringLiteral("cannot save %1: %2").arg(m_path, reason));
    return SaveResult::Failed;
}

JsonDocumentFile::SaveResult JsonDocumentFile::write(const QJsonObject& document)
{
    if (hasChanged()) {
        return SaveResult::FileChanged;
    }
    if (m_state == State::Unreadable) {
        return SaveResult::Failed;
    }
    const QString target = finalTarget(m_path);
    if (m_state == State::Corrupt) {
        if (!moveCorruptFileAside(target)) {
            return fail(QStringLiteral("it is not valid JSON and cannot be moved aside"));
        }
        m_identity = Identity();
    }
    m_state = State::Usable;

    const QByteArray bytes = JsonText::serialize(QJsonDocument(document), QJsonDocument::Indented);
    QByteArray tempPath = QFile::encodeName(target + kTemporarySuffix) + kTemporaryPattern;
    const int fd = ::mkstemp(tempPath.data());
    if (fd < 0) {
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
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
    if (complete && !(currentIdentity() == m_identity)) {
        ::unlink(tempPath.constData());
        return SaveResult::FileChanged;
    }
    if (!complete || ::rename(tempPath.constData(), QFile::encodeName(target).constData()) != 0) {
        const int error = complete ? errno : savedErrno;
        ::unlink(tempPath.constData());
        return fail(QString::fromLocal8Bit(std::strerror(error)));
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
