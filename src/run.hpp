#pragma once

#include <cstdint>

// Starts both workers, prints count middle results while they run, waits for
// both and prints the final result, then closes standard output. Returns
// whether the run completed with every line written; when it did not, one
// line on standard error has said why.
bool run_summation(std::int32_t count);
