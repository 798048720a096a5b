#include "KeyedHasher.h"

#include <QFile>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

namespace {

constexpr qsizetype secretBytes = 32;

} // namespace

std::optional<KeyedHasher> KeyedHasher::fromDirectory(const QString& directory, QString* error)
{
    QFile file(directory + QLatin1String("/secret.key"));
    if (!file.exists()) {
        QByteArray secret(secretBytes, Qt::Uninitialized);
        QRandomGenerator::system()->generate(secret.begin(), secret.end());
        // NewOnly: two servers starting on one folder never overwrite each other's key.
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
            const bool written = file.write(secret) == secretBytes && file.flush();
            file.close();
            if (!written) {
                file.remove();
            }
        }
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the key %1: %2").arg(file.fileName(), file.errorString());
        return std::nullopt;
    }
    QByteArray secret = file.read(secretBytes + 1);
    if (secret.size() != secretBytes) {
        *error = QStringLiteral("the key %1 is not %2 bytes long").arg(file.fileName()).arg(secretBytes);
        return std::nullopt;
    }
    return KeyedHasher(std::move(secret));
}

std::string KeyedHasher::hash(const QByteArray& purpose, const QByteArray& value) const
{
    QMessageAuthenticationCode code(QCryptographicHash::Sha256, m_secret);
    code.addData(purpose);
    code.addData(value);
    return code.result().left(16).toHex().toStdString();
}

std::string KeyedHasher::deviceHash(const QString& deviceId) const
{
    return hash(QByteArrayLiteral("device\n"), deviceId.toUtf8());
}

std::string KeyedHasher::networkHash(const std::string& networkPrefix) const
{
    return hash(QByteArrayLiteral("network\n"), QByteArray::fromStdString(networkPrefix));
}
