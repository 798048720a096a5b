#pragma once

#include "FlagDesk.h"
#include "HttpAnswer.h"
#include "ListPublisher.h"

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

// The service's endpoints: GET /api/list/ (JSON), GET /api/list.csv and POST /api/flag/.
class CommunityApi
{
public:
    // With `trustForwardedFor`, a flag's network is taken from the last address of X-Forwarded-For,
    // the one the proxy in front of the service saw; only for a service that a proxy alone can reach.
    CommunityApi(ListPublisher& publisher, FlagDesk& flagDesk, bool trustForwardedFor,
                 std::function<std::int64_t()> clock);

    HttpAnswer answer(const ApiRequest& request);

private:
    HttpAnswer listAnswer(const ApiRequest& request, bool csv);
    HttpAnswer flagAnswer(const ApiRequest& request);

    ListPublisher& m_publisher;
    FlagDesk& m_flagDesk;
    const bool m_trustForwardedFor;
    const std::function<std::int64_t()> m_clock;
};
