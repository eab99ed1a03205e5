// Small text helpers for every layer: hexadecimal digits, whole numbers, and the one escaping
// rule for texts written to a terminal line or kept in a text file.
#pragma once

#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>

namespace vq5 {

// The value of a hexadecimal digit ('0'..'9', 'A'..'F', 'a'..'f'); -1 for any other character.
int HexDigitValue(char c);
// A digit as the device writes them: '0'..'9' or 'A'..'F'.
bool IsDeviceHexDigit(char c);

// The whole text as a number in `base`: digits only (a '-' only for signed types; no '+',
// blanks or "0x"). Nothing when the text is empty, holds anything else or does not fit T.
template <typename T> std::optional<T> ParseNumber(std::string_view text, int base = 10) {
    static_assert(std::is_integral_v<T>);
    T value{};
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || ec != std::errc{} || ptr != end)
        return std::nullopt;
    return value;
}

// Printable ASCII as itself, a backslash as "\\", every other byte as "\xHH".
std::string EscapeText(std::string_view text);
// The reverse of EscapeText. Also reads "\n", "\r" and "\t" (kept for files written by
// earlier versions); a backslash before any other character stands for that character, and a
// "\x" without two hex digits stays as it is.
std::string UnescapeText(std::string_view text);

} // namespace vq5
