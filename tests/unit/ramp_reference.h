// The ramp's walk in its plain documented form, dividing afresh at every record:
// the plain reference the generator (which carries its quotients) is held
// against.
#pragma once

#include <stdint.h>

#include <tuple>
#include <vector>

#include "host/host_abi.h"

// measure, position, value
using Placed = std::tuple<int32_t, int32_t, int32_t>;

inline int64_t ReferenceIncrement(int64_t e, int64_t d, int64_t total) {
    if (e <= 15000) return e * d / total;
    if (e <= 200000) return (d / 100) * e / total * 100;
    return (d / 1000) * e / total * 1000;
}

// The walk as the rules state it over measures 1..N of `lengths` (any other
// measure has length 0); a region that adds up to no length gets no walk
// records.
inline std::vector<Placed> ReferenceWalk(const std::vector<int32_t>& lengths, const ERegion& r,
                                         int32_t a, int32_t b) {
    auto length = [&](int m) { return m >= 1 && m <= int(lengths.size()) ? lengths[m - 1] : 0; };
    auto to = [&](int m, int32_t len) {
        return (m == r.endMeasure && r.endPosition != 0x7FFFFFFF) ? int64_t(r.endPosition) + 1
                                                                   : int64_t(len);
    };
    int64_t total = 0;
    for (int m = r.startMeasure; m <= r.endMeasure; ++m)
        total += to(m, length(m)) - (m == r.startMeasure ? r.startPosition : 0);
    std::vector<Placed> out;
    if (total <= 0) return out;
    int64_t walked = 0, lastElapsed = 0, lastValue = 0;
    for (int m = r.startMeasure; m <= r.endMeasure; ++m) {
        int32_t len = length(m);
        if (len == 0) continue;
        int64_t from = m == r.startMeasure ? r.startPosition : 0, end = to(m, len);
        for (int64_t s = 0; from + s < end; s += 256) {
            int64_t e = walked + s;
            bool due = (walked == 0 && s == 0) || (e - lastElapsed) * lastValue >= 20481024;
            if (!due) continue;
            int32_t v = int32_t(a + ReferenceIncrement(e, int64_t(b) - a, total));
            out.emplace_back(m, int32_t(from + s), v);
            lastElapsed = e;
            lastValue = v;
        }
        walked += end - from;
    }
    return out;
}
