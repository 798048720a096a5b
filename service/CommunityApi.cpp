#include "CommunityApi.h"

#include "SqlConnection.h"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/predicate.hpp>
#include <boost/algorithm/string/split.hpp>
#include <boost/algorithm/string/trim.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <vector>

namespace {

constexpr std::array<std::string_view, 5> endpoints = {"/api/list/", "/api/list.csv", "/api/flag/", "/healthz",
                                                       "/metrics"};

// A CDN or proxy may serve the list this long without asking again.
constexpr const char* listCacheControl = "public, max-age=300";

// Whether an Accept-Encoding value takes gzip: "gzip" or "*" among its codings, without "q=0".
bool acceptsGzip(std::string_view header)
{
    std::vector<std::string> codings;
    boost::algorithm::split(codings, header, boost::algorithm::is_any_of(","));
    return std::any_of(codings.begin(), codings.end(), [](const std::string& item) {
        const size_t semicolon = item.find(';');
        const std::string coding = boost::algorithm::trim_copy(item.substr(0, semicolon));
        const std::string parameters =
            semicolon == std::string::npos ? std::string() : boost::algorithm::trim_copy(item.substr(semicolon + 1));
        const bool refused =
            parameters.rfind("q=0", 0) == 0 && parameters.find_first_of("123456789") == std::string::npos;
        return (boost::algorithm::iequals(coding, "gzip") || coding == "*") && !refused;
    });
}

// The last address of an X-Forwarded-For value (the whole value when it holds one).
std::string lastListed(std::string_view forwardedFor)
{
    const size_t comma = forwardedFor.rfind(',');
    return boost::algorithm::trim_copy(
        std::string(comma == std::string_view::npos ? forwardedFor : forwardedFor.substr(comma + 1)));
}

} // namespace

CommunityApi::CommunityApi(ListPublisher& publisher, FlagDesk& flagDesk, Metrics& metrics, bool trustForwardedFor,
                           std::function<std::int64_t()> clock)
    : m_publisher(publisher), m_flagDesk(flagDesk), m_metrics(metrics), m_trustForwardedFor(trustForwardedFor),
      m_clock(std::move(clock))
{}

HttpAnswer CommunityApi::answer(const ApiRequest& request)
{
    const auto start = std::chrono::steady_clock::now();
    const std::string_view path = request.target.substr(0, request.target.find('?'));
    const bool known = std::find(endpoints.begin(), endpoints.end(), path) != endpoints.end();
    HttpAnswer answer;
    try {
        answer = route(request, known ? path : std::string_view());
    } catch (const SqlError& error) {
        std::cerr << "database error: " << error.what() << std::endl;
        answer = HttpAnswer::refusal(503, "the database is not available");
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    m_metrics.observeRequest(known ? path : "other", answer.status, elapsed.count());
    std::ostringstream line;
    line << request.method << ' ' << (known ? path : "(other)") << ' ' << answer.status << ' '
         << (answer.body ? answer.body->size() : 0) << ' ' << std::fixed << std::setprecision(2)
         << elapsed.count() * 1000 << "ms\n";
    std::cerr << line.str();
    return answer;
}

HttpAnswer CommunityApi::route(const ApiRequest& request, std::string_view path)
{
    if (path.empty()) {
        return HttpAnswer::refusal(404, "no such endpoint");
    }
    const bool isFlag = path == "/api/flag/";
    const char* method = isFlag ? "POST" : "GET";
    if (request.method != method) {
        HttpAnswer refused = HttpAnswer::refusal(405, std::string("this endpoint takes ") + method);
        refused.headers.emplace_back("Allow", method);
        return refused;
    }
    if (path == "/healthz") {
        m_publisher.followStore(); // asks the database
        return {200, {{"Content-Type", "text/plain"}}, std::make_shared<const std::string>("ok\n")};
    }
    if (path == "/metrics") {
        return {200,
                {{"Content-Type", "text/plain; version=0.0.4"}},
                std::make_shared<const std::string>(m_metrics.render(m_publisher.current()->count))};
    }
    return isFlag ? flagAnswer(request) : listAnswer(request, path == "/api/list.csv");
}

HttpAnswer CommunityApi::listAnswer(const ApiRequest& request, bool csv)
{
    const std::shared_ptr<const PublishedList> list = m_publisher.current();
    const PublishedBody& body = csv ? list->csv : list->json;
    const bool gzip = acceptsGzip(request.acceptEncoding) && !body.gzip.empty();
    const std::string etag = gzip ? body.etag.substr(0, body.etag.size() - 1) + "-gzip\"" : body.etag;
    HttpAnswer answer;
    answer.headers = {{"ETag", etag}, {"Cache-Control", listCacheControl}, {"Vary", "Accept-Encoding"}};
    // Either form's tag names the same list: a client holding one need not fetch the other.
    const std::string bareTag = body.etag.substr(0, body.etag.size() - 1);
    if (request.ifNoneMatch == "*" || request.ifNoneMatch.find(bareTag) != std::string_view::npos) {
        answer.status = 304;
        return answer;
    }
    answer.headers.emplace_back("Content-Type", csv ? "text/csv; charset=utf-8" : "application/json");
    if (gzip) {
        answer.headers.emplace_back("Content-Encoding", "gzip");
    }
    // Shares the published list's bytes rather than copying them.
    answer.body = std::shared_ptr<const std::string>(list, gzip ? &body.gzip : &body.bytes);
    return answer;
}

HttpAnswer CommunityApi::flagAnswer(const ApiRequest& request)
{
    const std::string address =
        m_trustForwardedFor && !request.forwardedFor.empty() ? lastListed(request.forwardedFor) : request.peerAddress;
    return m_flagDesk.flag(request.body, address, m_clock());
}
