#pragma once

#include "platform/Notifier.h"

#include <QList>
#include <QPair>
#include <memory>

// Records the notifications the application asks for, as (title, body) pairs.
class RecordingNotifier : public Notifier
{
public:
    using Shown = QList<QPair<QString, QString>>;

    explicit RecordingNotifier(std::shared_ptr<Shown> shown) : m_shown(std::move(shown)) {}

    void show(const QString& title, const QString& body) override { m_shown->append({title, body}); }

private:
    std::shared_ptr<Shown> m_shown;
};
