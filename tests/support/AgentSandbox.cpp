#include "AgentSandbox.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

AgentSandbox::AgentSandbox()
{
    if (!m_config.isValid() || !m_runtime.isValid() || !QDir(m_config.path()).mkpath(QStringLiteral("tunesieve"))) {
        qFatal("cannot create the agent's temporary folders");
    }
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    // A temporary folder is the user's own with mode 0700, as Qt wants of a runtime folder.
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
}

QString AgentSandbox::preferencesPath() const
{
    return m_config.filePath(QStringLiteral("tunesieve/com.tunesieve.blacklist.json"));
}

void AgentSandbox::writePreferences(const QByteArray& bytes) const
{
    QFile file(preferencesPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write the preferences file");
    }
}

QByteArray AgentSandbox::readPreferences() const
{
    QFile file(preferencesPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool AgentSandbox::preferencesAreValid() const
{
    QJsonParseError error;
    return QJsonDocument::fromJson(readPreferences(), &error).isObject() && error.error == QJsonParseError::NoError;
}

bool AgentSandbox::start(QProcess& agent, const QString& binary)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    agent.setProcessEnvironment(environment);
    agent.start(binary, QStringList());
    return agent.waitForStarted(10000);
}
