#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>

// What one server counts of its own work since it started, for Prometheus to scrape: requests by
// endpoint and status, their latency, and the flags counted and refused.
class Metrics
{
public:
    enum class FlagOutcome
    {
        counted,
        repeated, // answered with success, but this device had flagged the name already
        refused,  // malformed, or past a limit
    };

    // `endpoint` is one of the service's paths, or "other" for any other target.
    void observeRequest(std::string_view endpoint, unsigned status, double seconds);
    void observeFlag(FlagOutcome outcome) { ++m_flags[std::size_t(outcome)]; }

    // Prometheus's text format (0.0.4), with `listedNames`, the names on the list now.
    std::string render(std::size_t listedNames) const;

private:
    // The upper bounds of the latency histogram's buckets, in seconds.
    static constexpr std::array<double, 10> bucketBounds = {0.0005, 0.001, 0.0025, 0.005, 0.01,
                                                            0.025,  0.05,  0.1,    0.25,  1.0};

    std::map<std::pair<std::string, unsigned>, std::uint64_t> m_requests;
    // The requests within each bound and not within the one before; the last counts those above all.
    std::array<std::uint64_t, bucketBounds.size() + 1> m_latencies{};
    double m_latencySum = 0;
    std::array<std::uint64_t, 3> m_flags{};
};
