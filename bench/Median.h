// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The median of the benchmarks' repeated timings.

#include <algorithm>
#include <vector>

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}
