// What the benchmarks measure with: best-of and median timings in
// milliseconds, and a sink that keeps measured work from being optimised away.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <functional>
#include <vector>

namespace Bench {

inline volatile std::size_t sink;

// A point in time in milliseconds, for differences.
inline double now_ms() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

inline double ms_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// The fastest of `repeats` runs of `work`: the others only add the noise of
// a machine doing other things.
inline double measure(int repeats, const std::function<void()>& work) {
    double best = 1e300;
    for (int i = 0; i < repeats; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(best, ms_since(start));
    }
    return best;
}

// The middle value (of an even count, the mean of the two middle ones); 0
// for no values.
inline double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace Bench
