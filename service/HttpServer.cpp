#include "HttpServer.h"

#include <boost/asio/ssl/stream.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <stdexcept>
#include <type_traits>

namespace beast = boost::beast;
namespace http = boost::beast::http;
namespace net = boost::asio;

namespace {

// Request line and headers together, and the buffer that holds them.
constexpr std::size_t maxHeaderBytes = 8192;

} // namespace

// One client connection; the server knows it while it lives, to close it when stopping.
class HttpConnection
{
public:
    virtual ~HttpConnection() = default;
    // Closes the connection now if it waits for a request; else after the reply being made.
    virtual void stopWhenIdle() = 0;
};

namespace {

template <class Stream> class Session : public HttpConnection, public std::enable_shared_from_this<Session<Stream>>
{
public:
    static constexpr bool tls = !std::is_same_v<Stream, beast::tcp_stream>;

    template <class... StreamArguments>
    Session(HttpServer& server, std::string peerAddress, StreamArguments&&... arguments)
        : m_server(server), m_peerAddress(std::move(peerAddress)), m_stream(std::forward<StreamArguments>(arguments)...)
    {
        m_server.join(this);
    }
    ~Session() override { m_server.leave(this); }

    void start()
    {
        if constexpr (tls) {
            lowestLayer().expires_after(m_server.settings().readTimeout);
            m_stream.async_handshake(net::ssl::stream_base::server,
                                     [self = this->shared_from_this()](beast::error_code error) {
                                         if (!error) {
                                             self->readRequest();
                                         }
                                     });
        } else {
            readRequest();
        }
    }

    void stopWhenIdle() override
    {
        m_stopping = true;
        if (!m_busy) {
            lowestLayer().cancel();
        }
    }

private:
    beast::tcp_stream& lowestLayer() { return beast::get_lowest_layer(m_stream); }

    void readRequest()
    {
        if (m_stopping) {
            close();
            return;
        }
        m_parser.emplace();
        m_parser->header_limit(maxHeaderBytes);
        m_parser->body_limit(FlagDesk::maxBodyBytes);
        lowestLayer().expires_after(m_server.settings().readTimeout);
        http::async_read(
            m_stream, m_buffer, *m_parser,
            [self = this->shared_from_this()](beast::error_code error, std::size_t) { self->onRead(error); });
    }

    void onRead(beast::error_code error)
    {
        // The parser's own refusals get an answer; a connection that ended, timed out or was
        // cancelled is closed without one.
        const bool refusedByParser = error &&
                                     error.category() == http::make_error_code(http::error::bad_target).category() &&
                                     error != http::error::end_of_stream && error != http::error::partial_message;
        if (error == http::error::body_limit) {
            reply(HttpAnswer::refusal(413, "the body is larger than 4 KiB"), false);
        } else if (refusedByParser) {
            // A malformed request line or header, headers too large, a body that is not as announced.
            reply(HttpAnswer::refusal(400, "malformed request"), false);
        } else if (error) {
            close();
        } else {
            const auto& request = m_parser->get();
            const auto header = [&request](http::field field) {
                const auto found = request.find(field);
                return found == request.end() ? std::string_view() : std::string_view(found->value());
            };
            const HttpAnswer answer =
                m_server.api().answer({request.method_string(), request.target(), header(http::field::if_none_match),
                                       header(http::field::accept_encoding),
                                       request[std::string_view("X-Forwarded-For")], request.body(), m_peerAddress});
            reply(answer, request.keep_alive());
        }
    }

    void reply(const HttpAnswer& answer, bool keepAlive)
    {
        m_busy = true;
        m_body = answer.body;
        m_response.emplace();
        m_response->version(11);
        m_response->result(answer.status);
        for (const auto& [name, value] : answer.headers) {
            m_response->set(name, value);
        }
        if (m_body) {
            m_response->body() = http::span_body<const char>::value_type(m_body->data(), m_body->size());
        }
        m_response->keep_alive(keepAlive && !m_stopping);
        m_response->prepare_payload();
        lowestLayer().expires_after(m_server.settings().writeTimeout);
        http::async_write(m_stream, *m_response,
                          [self = this->shared_from_this()](beast::error_code error, std::size_t) {
                              self->m_busy = false;
                              if (error || !self->m_response->keep_alive()) {
                                  self->close();
                              } else {
                                  self->readRequest();
                              }
                          });
    }

    void close()
    {
        if constexpr (tls) {
            lowestLayer().expires_after(std::chrono::seconds(2));
            m_stream.async_shutdown(
                [self = this->shared_from_this()](beast::error_code) { self->lowestLayer().close(); });
        } else {
            beast::error_code ignored;
            lowestLayer().socket().shutdown(net::ip::tcp::socket::shutdown_send, ignored);
        }
    }

    HttpServer& m_server;
    const std::string m_peerAddress;
    Stream m_stream;
    beast::flat_buffer m_buffer{maxHeaderBytes + FlagDesk::maxBodyBytes};
    std::optional<http::request_parser<http::string_body>> m_parser;
    std::optional<http::response<http::span_body<const char>>> m_response;
    std::shared_ptr<const std::string> m_body;
    bool m_busy = false;
    bool m_stopping = false;
};

} // namespace

HttpServer::HttpServer(net::io_context& context, HttpServerSettings settings, CommunityApi& api)
    : m_settings(std::move(settings)), m_api(api), m_acceptor(context)
{
    if (m_settings.certificateFile) {
        m_tls.emplace(net::ssl::context::tls_server);
        m_tls->set_options(net::ssl::context::default_workarounds | net::ssl::context::no_sslv2 |
                           net::ssl::context::no_sslv3 | net::ssl::context::no_tlsv1 | net::ssl::context::no_tlsv1_1 |
                           net::ssl::context::single_dh_use);
        m_tls->use_certificate_chain_file(*m_settings.certificateFile);
        m_tls->use_private_key_file(*m_settings.keyFile, net::ssl::context::pem);
    }
    m_acceptor.open(m_settings.endpoint.protocol());
    m_acceptor.set_option(net::socket_base::reuse_address(true));
    m_acceptor.bind(m_settings.endpoint);
    m_acceptor.listen(net::socket_base::max_listen_connections);
    accept();
}

HttpServer::~HttpServer() = default;

void HttpServer::accept()
{
    m_acceptor.async_accept([this](beast::error_code error, net::ip::tcp::socket socket) {
        if (m_stopping) {
            return;
        }
        if (!error && m_connections.size() < m_settings.maxConnections) {
            beast::error_code ignored;
            const std::string peer = socket.remote_endpoint(ignored).address().to_string();
            if (m_tls) {
                std::make_shared<Session<beast::ssl_stream<beast::tcp_stream>>>(*this, peer, std::move(socket), *m_tls)
                    ->start();
            } else {
                std::make_shared<Session<beast::tcp_stream>>(*this, peer, std::move(socket))->start();
            }
        }
        accept();
    });
}

void HttpServer::stop()
{
    m_stopping = true;
    beast::error_code ignored;
    m_acceptor.close(ignored);
    // A connection may leave while being told; tell a copy of the set.
    const std::unordered_set<HttpConnection*> connections = m_connections;
    for (HttpConnection* connection : connections) {
        if (m_connections.count(connection)) {
            connection->stopWhenIdle();
        }
    }
}
