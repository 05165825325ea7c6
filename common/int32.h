// Arithmetic on 32-bit signed integers as the programs show it: sums,
// differences and products keep the low 32 bits of the exact result (two's
// complement wrap), quotients truncate toward zero. The exact result is taken
// in 64 bits, so nothing overflows on the way.
#pragma once

#include <cstdint>
#include <optional>

inline std::int32_t add32(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(std::int64_t{a} + b);
}

inline std::int32_t sub32(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(std::int64_t{a} - b);
}

inline std::int32_t mul32(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(std::int64_t{a} * b);
}

// No quotient for a divisor of 0; the smallest value divided by -1 wraps to
// itself like the other operations.
inline std::optional<std::int32_t> div32(std::int32_t a, std::int32_t b)
{
    if (b == 0) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(std::int64_t{a} / b);
}
