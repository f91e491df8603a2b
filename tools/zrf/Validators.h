// Option checks shared by the zrf commands.
#pragma once

#include <CLI/CLI.hpp>

#include <cmath>
#include <string>

namespace zrf {

// A finite number above `low` (excluded) and at most `high`: refuses nan,
// inf and anything that cannot mean a length of time or a rate.
inline CLI::Validator PositiveFinite(double high, double low = 0.0) {
    return CLI::Validator(
        [high, low](std::string& text) -> std::string {
            double value = 0;
            try {
                size_t used = 0;
                value = std::stod(text, &used);
                if (used != text.size())
                    return "not a number: " + text;
            } catch (...) {
                return "not a number: " + text;
            }
            if (!std::isfinite(value) || value <= low || value > high)
                return "must be a finite number above " + CLI::detail::to_string(low) + " and at most " +
                       CLI::detail::to_string(high) + ", not " + text;
            return {};
        },
        "NUMBER in (" + std::to_string(static_cast<long long>(low)) + ", " +
            std::to_string(static_cast<long long>(high)) + "]");
}

}  // namespace zrf
