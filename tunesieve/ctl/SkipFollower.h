#pragma once

#include "ReplyText.h"

#include <QDBusMessage>
#include <QObject>
#include <cstdio>

// Writes each skip that the agent announces, as it comes, in the form of `tunesieve-ctl skipped`.
class SkipFollower : public QObject
{
    Q_OBJECT

public:
    SkipFollower(QStringList fields, bool json) : fields(std::move(fields)), json(json) {}

public slots:
    void print(const QDBusMessage& signal)
    {
        const QVariant skip = ReplyText::plain(signal.arguments().value(0));
        const QByteArray text = json ? ReplyText::json(skip) : ReplyText::lines(QVariantList{skip}, fields);
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        std::fflush(stdout); // for a pipe too: each skip as it happens
    }

private:
    const QStringList fields;
    const bool json;
};
