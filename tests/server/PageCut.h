// Small helpers for the server tests: the byte cuts that the client's page
// parser makes, applied to a page converted to GBK, so that the tests can
// check that the server's layout puts every value where the parser looks.
#pragma once

#include "server/Gbk.h"
#include "tests/support/Gbk.h"

#include <optional>
#include <string>
#include <string_view>

namespace servertest {

using testsupport::Gbk;

// The bytes from marker + k up to (not including) the first `end` found from
// the marker's own first byte, or nothing when the marker (at a position
// greater than 0) or the end text is missing or lies before marker + k.
inline std::optional<std::string> Cut(const std::string& page, std::string_view markerUtf8,
                                      size_t k, std::string_view endUtf8, bool includeEnd = false) {
    std::string marker = Gbk(markerUtf8);
    std::string end = Gbk(endUtf8);
    size_t m = page.find(marker);
    if (m == std::string::npos || m == 0)
        return std::nullopt;
    size_t e = page.find(end, m);
    if (e == std::string::npos || e < m + k)
        return std::nullopt;
    return page.substr(m + k, e - (m + k) + (includeEnd ? end.size() : 0));
}

// The index-line rule: label at x, first "%" after it at p; a signed value
// after markup is taken from x + 33 through p.
inline std::optional<std::string> IndexLine(const std::string& page, std::string_view labelUtf8) {
    std::string label = Gbk(labelUtf8);
    size_t x = page.find(label);
    if (x == std::string::npos || x == 0)
        return std::nullopt;
    size_t p = page.find('%', x);
    if (p == std::string::npos || p <= x)
        return std::nullopt;
    std::string inner = page.substr(x + 4, p - (x + 4));
    size_t plus = inner.find('+');
    size_t minus = inner.find('-');
    bool signAfterFirst =
        (plus != std::string::npos && plus > 0) || (minus != std::string::npos && minus > 0);
    if (signAfterFirst && p - x > 32)
        return page.substr(x + 33, p - (x + 33) + 1);
    return std::nullopt;
}

} // namespace servertest
