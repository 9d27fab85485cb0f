#pragma once

#include <atomic>
#include <cstdint>

// The two shared sums. Each has exactly one writer, its worker; the driver
// reads both while they change, and no lock guards either.
extern std::atomic<std::int32_t> m;
extern std::atomic<std::int32_t> n;

// Adds 1, 2, 3, 4 and 5 into its own sum, printing every partial sum and then
// the final one. Each is a POSIX thread start routine: it ignores its argument
// and returns a null pointer, which nobody reads.
extern "C" void* calculate_m(void* unused);
extern "C" void* calculate_n(void* unused);
