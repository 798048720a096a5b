#include "TempPreferences.h"

#include "HttpsTestServer.h"

#include <QFile>
#include <QTest>

TempPreferences::TempPreferences()
{
    if (!m_dir.isValid()) {
        qFatal("cannot create a temporary folder");
    }
}

std::unique_ptr<JsonPreferencesDomain> TempPreferences::openDomain() const
{
    return std::make_unique<JsonPreferencesDomain>(path());
}

std::shared_ptr<BlacklistManager> TempPreferences::openStore(const QString& communityBaseUrl) const
{
    CommunitySettings community;
    community.baseUrl = communityBaseUrl;
    community.extraCaCertificates = HttpsTestServer::trustedCertificates();
    return std::make_shared<BlacklistManager>(openDomain(), community);
}

QByteArray TempPreferences::readFile() const
{
    QFile file(path());
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

void TempPreferences::writeFile(const QByteArray& bytes) const
{
    QFile file(path());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write the preferences file");
    }
}
