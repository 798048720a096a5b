#include "ListPublisher.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <zlib.h>

namespace {

std::string gzipped(const std::string& bytes)
{
    z_stream stream{};
    // 15 window bits plus 16: a gzip wrapper rather than zlib's own.
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        return {};
    }
    std::string packed(deflateBound(&stream, uLong(bytes.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = uInt(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(packed.data());
    stream.avail_out = uInt(packed.size());
    const int result = deflate(&stream, Z_FINISH);
    packed.resize(stream.total_out);
    deflateEnd(&stream);
    return result == Z_STREAM_END ? packed : std::string();
}

PublishedBody published(std::string bytes)
{
    const QByteArray digest = QCryptographicHash::hash(QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size())),
                                                       QCryptographicHash::Sha256);
    PublishedBody body{std::move(bytes), {}, '"' + digest.left(16).toHex().toStdString() + '"'};
    body.gzip = gzipped(body.bytes);
    return body;
}

std::string csvField(const std::string& name)
{
    if (name.find_first_of(",\"") == std::string::npos) {
        return name;
    }
    std::string quoted = "\"";
    for (char character : name) {
        quoted += character == '"' ? std::string("\"\"") : std::string(1, character);
    }
    return quoted + '"';
}

} // namespace

void ListPublisher::followStore()
{
    if (m_store.generation().number != m_builtGeneration) {
        m_stale = true;
    }
}

std::shared_ptr<const PublishedList> ListPublisher::current()
{
    if (!m_stale && m_list) {
        return m_list;
    }
    // The generation first: a change made while the names are read moves it again, and is built next time.
    const CommunityStore::Generation generation = m_store.generation();
    const std::vector<std::string> names = m_store.listedNames(m_threshold);
    QJsonArray artists;
    std::string csv = "artist\n";
    for (const std::string& name : names) {
        artists.append(QString::fromStdString(name));
        csv += csvField(name) + '\n';
    }
    const QJsonObject object{
        {QLatin1String("artists"), artists},
        {QLatin1String("count"), qint64(names.size())},
        {QLatin1String("updated"), QDateTime::fromSecsSinceEpoch(generation.changedAt, Qt::UTC).toString(Qt::ISODate)}};
    auto list = std::make_shared<PublishedList>();
    list->json = published(QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString());
    list->csv = published(std::move(csv));
    list->count = names.size();
    m_list = std::move(list);
    m_builtGeneration = generation.number;
    m_stale = false;
    return m_list;
}
