#include <cstdint>
#include <string>

#include "cli/convert.h"

namespace mirnod {

std::string format_grouped(std::int32_t value) {
    std::string text;
    // The magnitude is taken in unsigned arithmetic so that the most negative value prints whole.
    std::uint32_t magnitude = static_cast<std::uint32_t>(value);
    if (value < 0) {
        text += '-';
        magnitude = 0u - magnitude;
    }
    std::uint32_t divisor = 1;
    int digits_after = 0;
    while (magnitude / divisor > 9) {
        divisor *= 10;
        ++digits_after;
    }
    for (; digits_after >= 0; --digits_after) {
        const std::uint32_t digit = magnitude / divisor;
        text += static_cast<char>('0' + digit);
        magnitude -= digit * divisor;
        divisor /= 10;
        if (digits_after > 0 && digits_after % 3 == 0) {
            text += ',';
        }
    }
    return text;
}

}  // namespace mirnod
