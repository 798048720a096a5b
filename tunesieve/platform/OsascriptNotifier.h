#pragma once

#include "Notifier.h"

// Notifications through the system's AppleScript runner:
//   /usr/bin/osascript -e 'display notification "BODY" with title "TITLE"'
// started as a child that is not waited for.
class OsascriptNotifier : public Notifier
{
public:
    explicit OsascriptNotifier(QString program = QStringLiteral("/usr/bin/osascript"));

    void show(const QString& title, const QString& body) override;

    // The script text, with every backslash and double quote of the texts escaped so that no text
    // can end its string literal or add to the script.
    static QString script(const QString& title, const QString& body);

private:
    QString m_program;
};
