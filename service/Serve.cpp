#include "Serve.h"

#include "CommunityApi.h"
#include "HttpServer.h"
#include "KeyedHasher.h"

#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <iostream>

namespace net = boost::asio;

namespace {

std::int64_t secondsNow()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// HOST:PORT or [IPv6]:PORT, the host an address or "localhost".
std::optional<net::ip::tcp::endpoint> endpointOf(const std::string& listen)
{
    const size_t colon = listen.rfind(':');
    if (colon == std::string::npos) {
        return std::nullopt;
    }
    std::string host = listen.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    boost::system::error_code error;
    const net::ip::address address = net::ip::make_address(host == "localhost" ? "127.0.0.1" : host, error);
    const std::string port = listen.substr(colon + 1);
    char* end = nullptr;
    const unsigned long number = std::strtoul(port.c_str(), &end, 10);
    if (error || port.empty() || *end || number > 65535) {
        return std::nullopt;
    }
    return net::ip::tcp::endpoint(address, static_cast<unsigned short>(number));
}

// As many connections as the process may open files, less a few for the database and the logs, so
// that accepting never fails for want of a descriptor.
std::size_t connectionsWithinFileLimit(std::size_t wanted)
{
    constexpr rlim_t reserved = 64;
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return wanted;
    }
    return std::min<std::size_t>(wanted, limit.rlim_cur > 2 * reserved ? limit.rlim_cur - reserved : reserved);
}

// Once a second, follows changes that others made to the list; once an hour, forgets the networks
// of flags older than 30 days.
class Upkeep
{
public:
    Upkeep(net::io_context& context, CommunityStore& store, ListPublisher& publisher)
        : m_timer(context), m_store(store), m_publisher(publisher)
    {
        schedule();
    }
    void stop() { m_timer.cancel(); }

private:
    static constexpr std::int64_t networkHashLifetime = 30 * 24 * 3600;

    void schedule()
    {
        m_timer.expires_after(std::chrono::seconds(1));
        m_timer.async_wait([this](boost::system::error_code error) {
            if (error) {
                return;
            }
            try {
                m_publisher.followStore();
                const std::int64_t now = secondsNow();
                if (now >= m_nextForgetting) {
                    m_store.forgetNetworksBefore(now - networkHashLifetime);
                    m_nextForgetting = now + 3600;
                }
            } catch (const SqlError& failure) {
                std::cerr << "database error: " << failure.what() << std::endl;
            }
            schedule();
        });
    }

    net::steady_timer m_timer;
    CommunityStore& m_store;
    ListPublisher& m_publisher;
    std::int64_t m_nextForgetting = 0;
};

} // namespace

int serve(const Options& options, CommunityStore& store)
{
    QString error;
    const std::optional<KeyedHasher> hasher = KeyedHasher::fromDirectory(options.dataDirectory, &error);
    if (!hasher) {
        std::cerr << error.toStdString() << std::endl;
        return 1;
    }
    const std::optional<net::ip::tcp::endpoint> endpoint = endpointOf(options.listen);
    if (!endpoint) {
        std::cerr << "not an address and port to listen on: " << options.listen << std::endl;
        return 2;
    }
    net::io_context context(1);
    ListPublisher publisher(store, options.threshold);
    Metrics metrics;
    FlagDesk flagDesk(store, *hasher, {options.deviceFlagsPerHour, options.networkFlagsPerHour}, options.threshold,
                      metrics, [&publisher] { publisher.markStale(); });
    CommunityApi api(publisher, flagDesk, metrics, options.trustForwardedFor, secondsNow);
    HttpServerSettings settings;
    settings.endpoint = *endpoint;
    settings.certificateFile = options.tlsCertificate;
    settings.keyFile = options.tlsKey;
    settings.readTimeout = std::chrono::seconds(options.readTimeoutSeconds);
    settings.maxConnections = connectionsWithinFileLimit(settings.maxConnections);
    std::optional<HttpServer> server;
    try {
        server.emplace(context, settings, api);
    } catch (const std::exception& failure) {
        std::cerr << "cannot listen on " << options.listen << ": " << failure.what() << std::endl;
        return 1;
    }
    Upkeep upkeep(context, store, publisher);
    net::signal_set stopSignals(context, SIGINT, SIGTERM);
    stopSignals.async_wait([&](boost::system::error_code, int) {
        server->stop();
        upkeep.stop();
    });
    const net::ip::tcp::endpoint local = server->localEndpoint();
    const std::string host =
        local.address().is_v6() ? '[' + local.address().to_string() + ']' : local.address().to_string();
    std::cout << "tunesieve-community listening on " << (server->usesTls() ? "https" : "http") << "://" << host << ':'
              << local.port() << std::endl;
    context.run();
    return 0;
}
