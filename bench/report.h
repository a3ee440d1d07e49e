// What the benchmarks' tables share: the median of a benchmark's samples,
// and a time written as people read it.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace vantor::bench {

// 0 for no samples.
inline double median(std::vector<double> times) {
    if (times.empty()) return 0;
    std::sort(times.begin(), times.end());
    const std::size_t mid = times.size() / 2;
    return times.size() % 2 == 1 ? times[mid] : (times[mid - 1] + times[mid]) / 2;
}

// "931 ns", "8.2 us", "4.95 ms".
inline std::string duration(double ns) {
    char text[32];
    if (ns < 1e3) {
        std::snprintf(text, sizeof text, "%.0f ns", ns);
    } else if (ns < 1e6) {
        std::snprintf(text, sizeof text, "%.1f us", ns / 1e3);
    } else {
        std::snprintf(text, sizeof text, "%.2f ms", ns / 1e6);
    }
    return text;
}

}  // namespace vantor::bench
