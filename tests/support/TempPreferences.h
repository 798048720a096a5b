#pragma once

#include "blacklist/BlacklistManager.h"
#include "platform/JsonPreferencesDomain.h"

#include <QTemporaryDir>
#include <memory>

// A preferences file in a fresh temporary folder, removed with the fixture.
class TempPreferences
{
public:
    TempPreferences();

    QString path() const { return m_dir.filePath(QStringLiteral("com.tunesieve.blacklist.json")); }
    QString folder() const { return m_dir.path(); }

    std::unique_ptr<JsonPreferencesDomain> openDomain() const;
    // A store on this file whose community service is `communityBaseUrl`, trusting the test
    // certificates. By default that is a closed port on loopback: no test ever leaves the machine.
    std::shared_ptr<BlacklistManager>
    openStore(const QString& communityBaseUrl = QStringLiteral("https://127.0.0.1:9")) const;

    QByteArray readFile() const;
    // Replaces the file the way another program would.
    void writeFile(const QByteArray& bytes) const;

private:
    QTemporaryDir m_dir;
};
