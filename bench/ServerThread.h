#pragma once

#include "support/HttpsTestServer.h"

#include <QThread>
#include <functional>
#include <memory>

// The local HTTPS server on a thread of its own, so that the time it spends encrypting a large reply
// is not counted as the main thread's (a real server is another machine).
class ServerThread
{
public:
    // `script` adds the server's replies, on the server's thread.
    explicit ServerThread(const std::function<void(HttpsTestServer&)>& script)
    {
        m_thread.start();
        m_context.moveToThread(&m_thread);
        onServerThread([&] {
            m_server = std::make_unique<HttpsTestServer>();
            script(*m_server);
        });
    }
    ~ServerThread()
    {
        onServerThread([this] { m_server.reset(); });
        m_thread.quit();
        m_thread.wait();
    }

    QString baseUrl() const { return m_server->baseUrl(); }

private:
    void onServerThread(const std::function<void()>& work)
    {
        QMetaObject::invokeMethod(&m_context, work, Qt::BlockingQueuedConnection);
    }

    QThread m_thread;
    QObject m_context;
    std::unique_ptr<HttpsTestServer> m_server;
};
