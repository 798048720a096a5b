#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

// Turns SIGTERM and SIGINT (the session logging out, Ctrl-C in a terminal) into a signal on the
// main thread, so that the agent ends through its own quit path. A signal handler may only do
// async-signal-safe work: it writes one byte to a pipe, whose reading end the event loop watches.
// One instance per process; its destruction gives both signals back their default action. Where
// the pipe cannot be made, the signals end the process the default way, which loses nothing: every
// change is on disk the moment it is made.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received();

private:
    void drain();

    std::unique_ptr<QSocketNotifier> m_notifier;
};
