#include "count.hpp"
#include "run.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>

namespace {

constexpr char usage_text[] = "usage: concurrent_sum COUNT\n";

// Exit statuses: 0 a complete run whose every line got out, 1 a run that could
// not start a worker or lost output, 2 a bad invocation.
constexpr int exit_failed_run = 1;
constexpr int exit_usage = 2;

} // namespace

int main(int argc, char* argv[])
{
    const std::span args(argv, static_cast<std::size_t>(argc));
    if (args.size() < 2) {
        std::fputs(usage_text, stderr);
        return exit_usage;
    }
    const std::optional<std::int32_t> count = parse_count(args[1]);
    if (!count) {
        std::fprintf(stderr, "concurrent_sum: COUNT out of range: %s\n", args[1]);
        return exit_usage;
    }
    return run_summation(*count) ? EXIT_SUCCESS : exit_failed_run;
}
