#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Converts COUNT as the C library's atoi does (leading white space, one
// optional sign, decimal digits up to the first other character, 0 when there
// is no digit), but gives nothing for a value that a 32-bit int cannot hold,
// where atoi's result is undefined.
std::optional<std::int32_t> parse_count(std::string_view text);
