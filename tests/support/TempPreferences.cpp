#include "TempPreferences.h"

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

std::shared_ptr<BlacklistManager> TempPreferences::openStore() const
{
    return std::make_shared<BlacklistManager>(openDomain());
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
