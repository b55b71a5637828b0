// Fills the SDK's message formats ("%@", "%d", "%tu", "%ld", ...): every conversion takes the
// next argument as text, whatever its length modifier says. Used for diagnostic messages only.
#pragma once

#include <cstddef>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>

namespace ze {

namespace format_detail {

inline std::string text(const std::string& value) { return value; }
inline std::string text(std::string_view value) { return std::string(value); }
inline std::string text(const char* value) { return value ? value : "(null)"; }
inline std::string text(bool value) { return value ? "YES" : "NO"; }
template <class T>
std::string text(const std::optional<T>& value)
{
    return value ? text(*value) : std::string("(null)");
}
template <class T, std::enable_if_t<std::is_arithmetic_v<T> && !std::is_same_v<T, bool>, int> = 0>
std::string text(T value)
{
    std::ostringstream out;
    out << +value;
    return out.str();
}
template <class T, std::enable_if_t<std::is_enum_v<T>, int> = 0>
std::string text(T value)
{
    return text(static_cast<std::underlying_type_t<T>>(value));
}

// Moves `pos` past one conversion ("%" flags, width, length, letter) and answers whether one was found.
inline bool skipConversion(std::string_view format, std::size_t& pos)
{
    std::size_t i = pos + 1;
    while (i < format.size() && std::string_view("+-# 0123456789.lhtzjqL").find(format[i]) != std::string_view::npos) {
        ++i;
    }
    if (i >= format.size()) {
        return false;
    }
    pos = i + 1;
    return true;
}

inline void append(std::string& out, std::string_view format, std::size_t& pos)
{
    while (pos < format.size()) {
        if (format[pos] == '%' && pos + 1 < format.size() && format[pos + 1] == '%') {
            out += '%';
            pos += 2;
            continue;
        }
        if (format[pos] == '%') {
            return;
        }
        out += format[pos++];
    }
}

} // namespace format_detail

template <class... Args>
std::string ZEFormat(std::string_view format, const Args&... args)
{
    std::string out;
    std::size_t pos = 0;
    [[maybe_unused]] auto one = [&](const auto& arg) {
        format_detail::append(out, format, pos);
        if (pos < format.size() && format_detail::skipConversion(format, pos)) {
            out += format_detail::text(arg);
        }
    };
    (one(args), ...);
    format_detail::append(out, format, pos);
    out.append(format.substr(pos));
    return out;
}

} // namespace ze
