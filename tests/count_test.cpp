#include "count.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string_view>

namespace {

struct conversion {
    std::string_view text;
    std::optional<std::int32_t> count;
};

// atoi's results wherever they are defined, and a refusal where they are
// not. Octal 240 is a no-break space in Latin-1, which is not white space in C.
// clang-format off
constexpr conversion conversions[] = {
    {"0", 0}, {"3", 3}, {"-1", -1}, {"+3", 3}, {" \t\n\v\f\r+3", 3}, {"2x", 2}, {"12 34", 12}, {"007", 7},
    {"abc", 0}, {"", 0}, {"   ", 0}, {"+", 0}, {"-", 0}, {"+-3", 0}, {"- 3", 0}, {"0x10", 0}, {"\2405", 0},
    {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN}, {"000000000000002147483647", INT32_MAX},
    {"2147483648", std::nullopt}, {"-2147483649", std::nullopt}, {"99999999999", std::nullopt},
    {"  +99999999999999999999x", std::nullopt}};
// clang-format on

TEST(ParseCount, MatchesAtoiAndRefusesWhatAnIntCannotHold)
{
    for (const auto& [text, count] : conversions) {
        EXPECT_EQ(parse_count(text), count) << "COUNT text \"" << text << '"';
    }
}

} // namespace
