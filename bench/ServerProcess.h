#pragma once

#include "support/HttpsTestServer.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <functional>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

// The local HTTPS server in a process of its own, forked before the benchmark starts Qt: the reply it
// holds and the memory it spends encrypting are not counted as the agent's (a real server is another
// machine). It holds each reply open after its body until releaseHeldReplies(), so that the benchmark
// chooses when the last byte (the end of the reply) arrives.
class ServerProcess
{
public:
    // `script` adds the server's replies, in the server's process; it answers how many bytes of body
    // one reply holds.
    explicit ServerProcess(const std::function<qint64(HttpsTestServer&)>& script)
    {
        int toParent[2];
        int toServer[2];
        if (::pipe(toParent) != 0 || ::pipe(toServer) != 0 || (m_pid = ::fork()) < 0) {
            qFatal("cannot start the server process");
        }
        if (m_pid == 0) {
            ::close(toParent[0]);
            ::close(toServer[1]);
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            serve(script, toParent[1], toServer[0]);
        }
        ::close(toParent[1]);
        ::close(toServer[0]);
        m_release = toServer[1];
        QByteArray line;
        char byte = 0;
        while (::read(toParent[0], &byte, 1) == 1 && byte != '\n') {
            line += byte;
        }
        ::close(toParent[0]);
        m_baseUrl = QString::fromUtf8(line.split(' ').value(0));
        m_bodyBytes = line.split(' ').value(1).toLongLong();
    }
    ~ServerProcess()
    {
        ::close(m_release); // the server ends when it reads the end of the pipe
        ::waitpid(m_pid, nullptr, 0);
    }

    QString baseUrl() const { return m_baseUrl; }
    qint64 bodyBytes() const { return m_bodyBytes; }
    void releaseHeldReplies() const { (void)!::write(m_release, "r", 1); }

private:
    [[noreturn]] static void serve(const std::function<qint64(HttpsTestServer&)>& script, int toParent, int fromParent)
    {
        int argc = 1;
        char name[] = "server";
        char* argv[] = {name, nullptr};
        QCoreApplication app(argc, argv);
        HttpsTestServer server;
        const QByteArray line = server.baseUrl().toUtf8() + ' ' + QByteArray::number(script(server)) + '\n';
        (void)!::write(toParent, line.constData(), size_t(line.size()));
        ::close(toParent);
        QSocketNotifier released(fromParent, QSocketNotifier::Read);
        QObject::connect(&released, &QSocketNotifier::activated, &app, [&] {
            char byte = 0;
            ::read(fromParent, &byte, 1) == 1 ? server.releaseHeldReplies() : app.quit();
        });
        app.exec();
        ::_exit(0);
    }

    pid_t m_pid = -1;
    int m_release = -1;
    QString m_baseUrl;
    qint64 m_bodyBytes = 0;
};
