#include "OsascriptNotifier.h"

#include <QProcess>

namespace {

QString appleScriptStringContent(QString text)
{
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    text.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return text;
}

} // namespace

OsascriptNotifier::OsascriptNotifier(QString program) : m_program(std::move(program)) {}

QString OsascriptNotifier::script(const QString& title, const QString& body)
{
    return QStringLiteral("display notification \"") + appleScriptStringContent(body) +
           QStringLiteral("\" with title \"") + appleScriptStringContent(title) + QStringLiteral("\"");
}

void OsascriptNotifier::show(const QString& title, const QString& body)
{
    // Detached: the child runs on its own and inherits our standard channels; a failure to start
    // it is not worth telling anyone about.
    QProcess::startDetached(m_program, {QStringLiteral("-e"), script(title, body)});
}
