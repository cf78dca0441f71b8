// Conversions of numbers between the widths used at the engine boundary.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>

namespace session {

// Nearest 32-bit float (ties to even); a magnitude beyond the 32-bit range becomes an infinity
// of the same sign. Written out so that no out-of-range conversion is left to the compiler.
inline float round_to_float(double value) {
    // Halfway between FLT_MAX and the next power of two: from here on the nearest float is infinite.
    constexpr double kOverflowThreshold = static_cast<double>(FLT_MAX) + 0x1p103;
    if (std::isfinite(value) && std::fabs(value) > static_cast<double>(FLT_MAX)) {
        if (std::fabs(value) >= kOverflowThreshold)
            return std::copysign(std::numeric_limits<float>::infinity(), static_cast<float>(value > 0 ? 1 : -1));
        return std::copysign(FLT_MAX, static_cast<float>(value > 0 ? 1 : -1));
    }
    return static_cast<float>(value);
}

// A positive float truncated toward zero to a 32-bit integer; values from 2^31 on give the largest one.
inline int32_t truncate_positive(float value) {
    constexpr float kInt32Limit = 2147483648.0f;
    if (value >= kInt32Limit) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(value);
}

}  // namespace session
