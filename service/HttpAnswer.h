#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

// What the service answers to one request, whatever carries it: a status, its own headers and a
// body that may be shared with the published list (never copied per request).
struct HttpAnswer
{
    unsigned status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::shared_ptr<const std::string> body;

    // A JSON answer made of `json`.
    static HttpAnswer json(unsigned status, std::string json)
    {
        return {status, {{"Content-Type", "application/json"}}, std::make_shared<const std::string>(std::move(json))};
    }
    // {"success": false, "error": reason}, for refusals.
    static HttpAnswer refusal(unsigned status, const std::string& reason);
};
