#include "Metrics.h"

#include <numeric>
#include <sstream>

void Metrics::observeRequest(std::string_view endpoint, unsigned status, double seconds)
{
    ++m_requests[{std::string(endpoint), status}];
    std::size_t bucket = 0;
    while (bucket < bucketBounds.size() && seconds > bucketBounds[bucket]) {
        ++bucket;
    }
    ++m_latencies[bucket];
    m_latencySum += seconds;
}

std::string Metrics::render(std::size_t listedNames) const
{
    std::ostringstream text;
    text << "# HELP tunesieve_requests_total Requests answered, by endpoint and status.\n"
            "# TYPE tunesieve_requests_total counter\n";
    for (const auto& [key, count] : m_requests) {
        text << "tunesieve_requests_total{endpoint=\"" << key.first << "\",status=\"" << key.second << "\"} " << count
             << '\n';
    }
    text << "# HELP tunesieve_request_duration_seconds Time from a whole request to its answer.\n"
            "# TYPE tunesieve_request_duration_seconds histogram\n";
    std::uint64_t within = 0;
    for (std::size_t bucket = 0; bucket < bucketBounds.size(); ++bucket) {
        within += m_latencies[bucket];
        text << "tunesieve_request_duration_seconds_bucket{le=\"" << bucketBounds[bucket] << "\"} " << within << '\n';
    }
    const std::uint64_t all = std::accumulate(m_latencies.begin(), m_latencies.end(), std::uint64_t(0));
    text << "tunesieve_request_duration_seconds_bucket{le=\"+Inf\"} " << all << '\n'
         << "tunesieve_request_duration_seconds_sum " << m_latencySum << '\n'
         << "tunesieve_request_duration_seconds_count " << all << '\n';
    text << "# HELP tunesieve_flags_total Flags received, by what became of them.\n"
            "# TYPE tunesieve_flags_total counter\n";
    const char* outcomes[] = {"counted", "repeated", "refused"};
    for (std::size_t outcome = 0; outcome < m_flags.size(); ++outcome) {
        text << "tunesieve_flags_total{outcome=\"" << outcomes[outcome] << "\"} " << m_flags[outcome] << '\n';
    }
    text << "# HELP tunesieve_listed_names Names on the published list.\n"
            "# TYPE tunesieve_listed_names gauge\n"
            "tunesieve_listed_names "
         << listedNames << '\n';
    return text.str();
}
