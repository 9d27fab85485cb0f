#include "count.hpp"

#include <charconv>
#include <system_error>

std::optional<std::int32_t> parse_count(std::string_view text)
{
    // The C locale's white space, whatever locale the environment names.
    const std::size_t start = text.find_first_not_of(" \t\n\v\f\r");
    if (start == std::string_view::npos) {
        return 0;
    }
    text.remove_prefix(start);

    std::string_view digits = text;
    if (digits.front() == '+' || digits.front() == '-') {
        digits.remove_prefix(1);
    }
    if (digits.empty() || digits.front() < '0' || digits.front() > '9') {
        return 0;
    }

    // from_chars takes a minus sign but not a plus sign. Keeping the minus
    // lets it check the negative end of the range exactly, -2147483648 too.
    const char* first = text.front() == '-' ? text.data() : digits.data();
    std::int32_t value = 0;
    const auto result = std::from_chars(first, text.data() + text.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        return std::nullopt;
    }
    return value;
}
