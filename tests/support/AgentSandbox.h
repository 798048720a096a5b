#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// Folders of their own for the agent processes that a test starts: the preferences folder
// (XDG_CONFIG_HOME) and the runtime folder (XDG_RUNTIME_DIR, where the one-copy lock lives). Like
// PrivateBus with the bus, it points this process's environment at them, so every agent the test
// starts uses them and never meets the user's own agent or files.
class AgentSandbox
{
public:
    AgentSandbox();

    QString preferencesPath() const;
    void writePreferences(const QByteArray& bytes) const;
    QByteArray readPreferences() const;
    // True when the preferences file holds one valid JSON object.
    bool preferencesAreValid() const;

    // Starts `binary` without arguments on Qt's offscreen platform; false when it does not start.
    static bool start(QProcess& agent, const QString& binary = QStringLiteral(TUNESIEVE_BINARY));

private:
    QTemporaryDir m_config;
    QTemporaryDir m_runtime;
};
