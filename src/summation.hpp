#pragma once

#include <atomic>
#include <cstdint>

// The two shared sums. Each has exactly one writer, its worker; the driver
// reads both while they change, and no lock guards either.
extern std::atomic<std::int32_t> m;
extern std::atomic<std::int32_t> n;

// Adds 1, 2, 3, 4 and 5 into its own sum, printing every partial sum and then
// the final one. Meant to run on a thread of its own, beside the driver.
void calculate_m();
void calculate_n();

// The pause that every thread takes once in each iteration.
void pause_briefly();
