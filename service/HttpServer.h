#pragma once

#include "CommunityApi.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>

class HttpConnection;

struct HttpServerSettings
{
    boost::asio::ip::tcp::endpoint endpoint;
    // HTTPS with this certificate chain and key; plain HTTP without.
    std::optional<std::string> certificateFile;
    std::optional<std::string> keyFile;
    // How long a client has to send one whole request (headers and body), counted from when the
    // server starts waiting for it; an idle kept-alive connection is closed after the same time.
    std::chrono::seconds readTimeout{10};
    // How long a client has to take one whole reply.
    std::chrono::seconds writeTimeout{60};
    // Connections beyond this are closed as soon as they are accepted.
    std::size_t maxConnections = 2048;
};

// HTTP/1.1 over TCP, with or without TLS, on Boost.Beast: every request is read within a size and a
// time limit and answered by the API. Runs on the io_context's one thread.
class HttpServer
{
public:
    // Binds and listens at once. Throws boost::system::system_error, or for TLS files that cannot
    // be read, std::runtime_error.
    HttpServer(boost::asio::io_context& context, HttpServerSettings settings, CommunityApi& api);
    ~HttpServer();

    boost::asio::ip::tcp::endpoint localEndpoint() const { return m_acceptor.local_endpoint(); }
    bool usesTls() const { return m_tls.has_value(); }

    // Stops accepting and closes idle connections; the requests in flight are answered first.
    void stop();

    // For connections: they join when they start and leave when they end.
    void join(HttpConnection* connection) { m_connections.insert(connection); }
    void leave(HttpConnection* connection) { m_connections.erase(connection); }
    const HttpServerSettings& settings() const { return m_settings; }
    CommunityApi& api() { return m_api; }

private:
    void accept();

    const HttpServerSettings m_settings;
    CommunityApi& m_api;
    std::optional<boost::asio::ssl::context> m_tls;
    boost::asio::ip::tcp::acceptor m_acceptor;
    std::unordered_set<HttpConnection*> m_connections;
    bool m_stopping = false;
};
