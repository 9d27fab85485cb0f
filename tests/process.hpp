#pragma once

#include <sys/resource.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

enum class stdout_target { pipe, dev_full, closed };

struct launch {
    std::vector<std::string> args{};
    stdout_target out = stdout_target::pipe;
    // RLIMIT_AS for the program, to make its thread starts fail.
    std::optional<rlim_t> address_space{};
    // Close the read end once this many bytes have come, as `head` does;
    // zero reads to the end.
    std::size_t read_at_most = 0;
};

struct outcome {
    std::string out;
    std::string err;
    int status = 0; // as waitpid reports it
};

// Runs the built concurrent_sum with the given arguments and waits for it.
outcome run_program(const launch& how);
