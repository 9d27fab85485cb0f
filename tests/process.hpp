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
    std::optional<rlim_t> address_space{}; // RLIMIT_AS, to make thread starts fail
    std::size_t read_at_most = 0;          // then close the pipe, as `head` does; 0 reads all
};

struct outcome {
    std::string out;
    std::string err;
    int status = 0; // as waitpid reports it
};

// Runs the built concurrent_sum with the given arguments and waits for it.
outcome run_program(const launch& how);
