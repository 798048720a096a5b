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
    std::shared_ptr<BlacklistManager> openStore() const;

    QByteArray readFile() const;
    // Replaces the file the way another program would.
    void writeFile(const QByteArray& bytes) const;

private:
    QTemporaryDir m_dir;
};
