#pragma once

#include "FlagDesk.h"
#include "HttpAnswer.h"
#include "ListPublisher.h"
#include "Metrics.h"

#include <functional>
#include <string>
#include <string_view>

// What the API reads of one request, whatever carried it.
struct ApiRequest
{
    std::string_view method;
    std::string_view target;
    std::string_view ifNoneMatch;
    std::string_view acceptEncoding;
    std::string_view forwardedFor;
    std::string_view body;
    // The address of the connection's other end.
    std::string peerAddress;
};

// The service's endpoints: GET /api/list/ (JSON), GET /api/list.csv and POST /api/flag/; for its
// operators GET /healthz (200 while the database answers, else 503) and GET /metrics. Each answer is
// counted and logged in one line on standard error (method, path, status, bytes, milliseconds; never
// the client's address).
class CommunityApi
{
public:
    // With `trustForwardedFor`, a flag's network is taken from the last address of X-Forwarded-For,
    // the one the proxy in front of the service saw; only for a service that a proxy alone can reach.
    CommunityApi(ListPublisher& publisher, FlagDesk& flagDesk, Metrics& metrics, bool trustForwardedFor,
                 std::function<std::int64_t()> clock);

    HttpAnswer answer(const ApiRequest& request);

private:
    HttpAnswer route(const ApiRequest& request, std::string_view path);
    HttpAnswer listAnswer(const ApiRequest& request, bool csv);
    HttpAnswer flagAnswer(const ApiRequest& request);

    ListPublisher& m_publisher;
    FlagDesk& m_flagDesk;
    Metrics& m_metrics;
    const bool m_trustForwardedFor;
    const std::function<std::int64_t()> m_clock;
};
