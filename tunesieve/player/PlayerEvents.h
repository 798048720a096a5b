#pragma once

#include <QObject>
#include <memory>

// Tells the application that the players may have changed: one of them announced a new track or
// started, paused or stopped playing, or a player came or went. It says nothing about what plays;
// asking stays the player bridge's job. This base never reports: it stands for platforms where
// players announce nothing, and there the poll timer alone finds every change.
class PlayerEvents : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    // A change that may still be under way: a new playback state, a player that came or went, or a
    // track announced without its artist yet (the tags may follow in a moment).
    void playersChanged();
    // A player announced a track with its artist and title: what plays can be read at once.
    void trackAnnounced();
};

// The platform's own source: the MPRIS players on the session bus on Linux, none on macOS.
std::unique_ptr<PlayerEvents> createPlayerEvents();
