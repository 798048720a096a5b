#pragma once

#include "HttpsTestServer.h"
#include "blacklist/BlacklistManager.h"
#include "platform/JsonPreferencesDomain.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

// A preferences file in a fresh temporary folder, removed with the fixture.
class TempPreferences
{
public:
    QString path() const { return m_dir.filePath(QStringLiteral("com.tunesieve.blacklist.json")); }
    QString folder() const { return m_dir.path(); }

    auto openDomain() const { return std::make_unique<JsonPreferencesDomain>(path()); }
    // A store on this file whose community service is `communityBaseUrl`, trusting the test
    // certificates, with the other `community` settings. By default that is a closed port on loopback:
    // no test ever leaves the machine.
    std::shared_ptr<BlacklistManager> openStore(const QString& communityBaseUrl = QStringLiteral("https://127.0.0.1:9"),
                                                CommunitySettings community = {}) const
    {
        community.baseUrl = communityBaseUrl;
        community.extraCaCertificates = HttpsTestServer::trustedCertificates();
        return std::make_shared<BlacklistManager>(openDomain(), community, folder());
    }

    QByteArray readFile() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : "";
    }
    // Replaces the file the way most programs do: a new file renamed over the old one. Answers whether
    // the file was replaced.
    bool writeFile(const QByteArray& bytes) const
    {
        QFile file(path() + QStringLiteral(".writing"));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
               std::rename(QFile::encodeName(file.fileName()), QFile::encodeName(path())) == 0;
    }

private:
    QTemporaryDir m_dir;
};
