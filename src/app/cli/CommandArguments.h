#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ambrel {

// A mistake in how a command was called; reported with a hint to --help and exit status 2.
struct UsageError {
    std::string message;
};

// The words after a command's name: options with their values, then plain operands. Each
// question takes what it matched out of the words, so what is left at the end is unknown.
// A "--" ends the options: every word after it is an operand, even one starting with "-".
class CommandArguments {
public:
    explicit CommandArguments(std::vector<std::string_view> words);

    bool flag(std::string_view name);
    std::optional<std::string> value(std::string_view name);
    // Every value of an option that may be repeated, in order.
    std::vector<std::string> values(std::string_view name);
    // An "on" or "off" option.
    std::optional<bool> onOff(std::string_view name);

    // Whatever is left must be exactly `count` operands.
    std::vector<std::string> operands(std::size_t count);
    // Whatever is left must be at least one operand.
    std::vector<std::string> someOperands();

private:
    void refuseOptions() const;

    std::vector<std::string_view> words_;
    std::vector<std::string_view> afterSeparator_;
};

} // namespace ambrel
