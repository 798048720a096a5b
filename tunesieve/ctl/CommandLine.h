#pragma once

#include <QStringList>
#include <QVariantList>

// What tunesieve-ctl is asked to do, read from its arguments.
struct CommandLine
{
    // The method of the agent's interface to call; "Skipped" for following the skips.
    QString method;
    QVariantList arguments;
    // The fields of each record in the reply, in the order a line shows them.
    QStringList fields;
    bool json = false;
    bool help = false;

    // The arguments after the program's name, or why they make no command.
    static CommandLine parse(QStringList arguments, QString* usageError);

    static const char usage[];
};
