#include "StringFormat.h"

#include <span>
#include <vector>

namespace ambrel::core::StringFormat {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string text(const Argument& argument) {
    if (const auto* string = std::get_if<std::string>(&argument)) {
        return *string;
    }
    return std::to_string(std::get<std::int64_t>(argument));
}

} // namespace

std::string format(std::string_view format, std::initializer_list<Argument> arguments) {
    const std::span<const Argument> values(arguments.begin(), arguments.size());
    std::string result;
    result.reserve(format.size() + 16);
    std::size_t nextArgument = 0;
    std::size_t i = 0;
    while (i < format.size()) {
        const char c = format[i];
        if (c != '%' || i + 1 >= format.size()) {
            result.push_back(c);
            ++i;
            continue;
        }
        if (format[i + 1] == '%') {
            result.push_back('%');
            i += 2;
            continue;
        }
        // %[n$][l|ll](@|d|i|u)
        std::size_t j = i + 1;
        std::size_t position = 0;
        while (j < format.size() && isDigit(format[j])) {
            position = position * 10 + static_cast<std::size_t>(format[j] - '0');
            ++j;
        }
        bool positional = false;
        if (j > i + 1) {
            if (j < format.size() && format[j] == '$' && position >= 1) {
                positional = true;
                ++j;
            } else {
                result.push_back(c);
                ++i;
                continue;
            }
        }
        while (j < format.size() && format[j] == 'l') {
            ++j;
        }
        const bool known = j < format.size() && (format[j] == '@' || format[j] == 'd' ||
                                                 format[j] == 'i' || format[j] == 'u');
        const std::size_t index = positional ? position - 1 : nextArgument;
        if (!known || index >= values.size()) {
            result.push_back(c);
            ++i;
            continue;
        }
        result += text(values[index]);
        if (!positional) {
            ++nextArgument;
        }
        i = j + 1;
    }
    return result;
}

} // namespace ambrel::core::StringFormat
