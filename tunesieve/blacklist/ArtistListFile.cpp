#include "ArtistListFile.h"

#include "platform/FileTimes.h"
#include "platform/JsonDocumentFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>
#include <cstring>

namespace {

constexpr char kMagic[8] = {'T', 'S', 'N', 'A', 'M', 'E', 'S', '1'};

struct Header
{
    char magic[8];
    quint32 count;
    quint32 byteCount;
    quint64 checksum;
};
static_assert(sizeof(Header) == 24);

// A quick checksum of the bytes after the header, eight at a time: a bit flipped or a block of zeros
// changes it. Not a defence against a forger, who gains nothing here: every offset is checked anyway.
class Checksum
{
public:
    void add(const char* data, qsizetype size)
    {
        qsizetype at = 0;
        for (; at < size && m_filled != 0; ++at) {
            addByte(data[at]);
        }
        for (; at + 8 <= size; at += 8) {
            m_word = qFromLittleEndian<quint64>(data + at);
            mix();
        }
        for (; at < size; ++at) {
            addByte(data[at]);
        }
    }
    quint64 value()
    {
        if (m_filled > 0) {
            mix();
        }
        return m_hash;
    }

private:
    void addByte(char byte)
    {
        m_word |= quint64(quint8(byte)) << (8 * m_filled++);
        if (m_filled == 8) {
            mix();
        }
    }
    void mix()
    {
        m_hash = (m_hash ^ m_word) * 0x100000001b3ULL;
        m_hash ^= m_hash >> 29;
        m_word = 0;
        m_filled = 0;
    }

    quint64 m_hash = 0xcbf29ce484222325ULL;
    quint64 m_word = 0;
    int m_filled = 0;
};

} // namespace

struct ArtistListFile::Snapshot
{
    QFile file;
    SortedKeysView view;
    Identity identity;
    quint64 checksum = 0;
};

bool ArtistListFile::Identity::operator==(const Identity& other) const
{
    return device == other.device && inode == other.inode && size == other.size && modifiedNs == other.modifiedNs;
}

ArtistListFile::ArtistListFile(QString path) : m_path(std::move(path)), m_encodedPath(QFile::encodeName(m_path)) {}
ArtistListFile::~ArtistListFile() = default;
ArtistListFile::ArtistListFile(ArtistListFile&&) noexcept = default;
ArtistListFile& ArtistListFile::operator=(ArtistListFile&&) noexcept = default;

SortedKeysView ArtistListFile::names() const
{
    refresh();
    return m_mapping ? m_mapping->view : SortedKeysView();
}

quint64 ArtistListFile::revision() const
{
    refresh();
    return m_revision;
}

std::optional<quint64> ArtistListFile::checksum() const
{
    refresh();
    return m_mapping ? std::optional(m_mapping->checksum) : std::nullopt;
}

ArtistListFile::Identity ArtistListFile::identityOf(const QByteArray& encodedPath)
{
    struct stat info;
    if (::stat(encodedPath.constData(), &info) != 0) {
        return {};
    }
    return {info.st_dev, info.st_ino, info.st_size, modificationTimeNs(info)};
}

void ArtistListFile::refresh() const
{
    const Identity now = identityOf(m_encodedPath);
    if (now == m_identity && m_revision > 0) {
        return;
    }
    m_identity = now;
    ++m_revision;
    // No file: no copy yet.
    m_mapping = now.size >= 0 ? map(m_path, now) : nullptr;
}

void ArtistListFile::adopt(std::shared_ptr<const Snapshot> snapshot) const
{
    if (snapshot) {
        m_identity = snapshot->identity;
        m_mapping = std::move(snapshot);
        ++m_revision;
    }
}

quint64 ArtistListFile::checksumOf(const Snapshot& snapshot)
{
    return snapshot.checksum;
}

std::shared_ptr<const ArtistListFile::Snapshot> ArtistListFile::map(const QString& path, const Identity& identity)
{
    auto mapping = std::make_shared<Snapshot>();
    mapping->identity = identity;
    mapping->file.moveToThread(nullptr); // to be let go on whichever thread
    mapping->file.setFileName(path);
    const auto fault = [&path](const QString& why) {
        JsonDocumentFile::report(QStringLiteral("%1 %2; read as no copy until the next download").arg(path, why));
        return nullptr;
    };
    if (!mapping->file.open(QIODevice::ReadOnly)) {
        return fault(QStringLiteral("cannot be read: ") + mapping->file.errorString());
    }
    Header header;
    const bool headed = mapping->file.read(reinterpret_cast<char*>(&header), sizeof header) == sizeof header &&
                        std::memcmp(header.magic, kMagic, sizeof kMagic) == 0;
    const qint64 offsetsSize = headed ? (qint64(header.count) + 1) * qint64(sizeof(quint32)) : 0;
    if (!headed || mapping->file.size() != qint64(sizeof header) + offsetsSize + header.byteCount) {
        return fault(QStringLiteral("is truncated or not a list of names"));
    }
    // Read, not mapped, for the checksum: the pages read stay out of this process's memory.
    Checksum checksum;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (qint64 read; (read = mapping->file.read(chunk.data(), chunk.size())) > 0;) {
        checksum.add(chunk.constData(), read);
    }
    const uchar* mapped = mapping->file.map(0, mapping->file.size());
    if (checksum.value() != header.checksum || !mapped) {
        return fault(QStringLiteral("is corrupt"));
    }
    const auto* offsets = reinterpret_cast<const quint32*>(mapped + sizeof header);
    for (quint32 index = 0; index < header.count; ++index) {
        if (offsets[index] > offsets[index + 1]) {
            return fault(QStringLiteral("is corrupt"));
        }
    }
    if (offsets[0] != 0 || offsets[header.count] != header.byteCount) {
        return fault(QStringLiteral("is corrupt"));
    }
    mapping->checksum = header.checksum;
    mapping->view = {offsets, qsizetype(header.count),
                     reinterpret_cast<const char*>(mapped + sizeof header) + offsetsSize};
    return mapping;
}

bool ArtistListFile::write(const QString& path, const ArtistKeys& keys)
{
    const auto* offsets = reinterpret_cast<const char*>(keys.offsets().data());
    const qsizetype offsetsSize = qsizetype(keys.offsets().size() * sizeof(quint32));
    Checksum checksum;
    checksum.add(offsets, offsetsSize);
    checksum.add(keys.bytes().constData(), keys.bytes().size());
    Header header;
    std::memcpy(header.magic, kMagic, sizeof kMagic);
    header.count = quint32(keys.size());
    header.byteCount = quint32(keys.bytes().size());
    header.checksum = checksum.value();
    // QSaveFile writes beside the file, syncs and renames over it.
    QSaveFile file(path);
    const bool written = QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly) &&
                         file.write(reinterpret_cast<const char*>(&header), sizeof header) == sizeof header &&
                         file.write(offsets, offsetsSize) == offsetsSize &&
                         file.write(keys.bytes()) == keys.bytes().size() && file.commit();
    if (!written) {
        JsonDocumentFile::report(QStringLiteral("cannot save %1: %2").arg(path, file.errorString()));
    }
    return written;
}

std::shared_ptr<const ArtistListFile::Snapshot> ArtistListFile::writeAndMap(const QString& path, const ArtistKeys& keys)
{
    return write(path, keys) ? map(path, identityOf(QFile::encodeName(path))) : nullptr;
}
