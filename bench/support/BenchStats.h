#pragma once

// Figures every benchmark reports: medians and 95th percentiles of samples in milliseconds,
// printed as "name: value unit" lines.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace quandrel::bench {

using Clock = std::chrono::steady_clock;

inline double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Stats {
    double median = 0;
    double p95 = 0;
};

// The nearest-rank median and 95th percentile; zeros for no samples.
inline Stats stats(std::vector<double> samples)
{
    if (samples.empty())
        return {};
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double q) {
        const auto rank = std::size_t(std::ceil(q * double(samples.size())));
        return samples[std::min(samples.size() - 1, rank > 0 ? rank - 1 : 0)];
    };
    return {at(0.5), at(0.95)};
}

inline double median(std::vector<double> samples) { return stats(std::move(samples)).median; }

// "name: value unit", flushed at once so that a benchmark that dies later keeps its figures.
inline void print(const std::string& name, double value, const char* unit, int decimals = 2)
{
    std::printf("%s: %.*f %s\n", name.c_str(), decimals, value, unit);
    std::fflush(stdout);
}

// "<name>_median" and "<name>_p95" in milliseconds.
inline void printStats(const std::string& name, const std::vector<double>& samples, int decimals = 2)
{
    const Stats s = stats(samples);
    print(name + "_median", s.median, "ms", decimals);
    print(name + "_p95", s.p95, "ms", decimals);
}

} // namespace quandrel::bench
