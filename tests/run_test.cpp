#include "process.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <charconv>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

constexpr std::string_view middle_prefix = "Main thread, the middle result m+n = ";
constexpr std::string_view final_line = "Main thread, the final result m+n = 30";
constexpr std::array<long, 6> partial_sums{0, 1, 3, 6, 10, 15};

std::vector<std::string> worker_lines(char letter)
{
    const std::string prefix = std::string("Thread ") + letter + ", ";
    std::vector<std::string> lines;
    for (int k = 1; k <= 5; ++k) {
        lines.push_back(prefix + "1+..+" + std::to_string(k) + " = " + std::to_string(partial_sums[k]));
    }
    lines.push_back(prefix + "the final result = 15");
    return lines;
}

bool is_total_of_partial_sums(long total)
{
    for (long a : partial_sums) {
        for (long b : partial_sums) {
            if (a + b == total) {
                return true;
            }
        }
    }
    return false;
}

// What every interleaving of the three threads must keep: each worker's six
// lines in order with their values; exactly max(count, 0) middle lines, each
// a total of two partial sums and none smaller than the one before; an empty
// line after each final line and nowhere else; and the final result last.
// With the line count fixed, these leave no room for any other line.
testing::AssertionResult keeps_every_property(const std::string& out, std::int64_t count)
{
    const auto failure = [&out](const std::string& what) {
        return testing::AssertionFailure() << what << " in:\n" << out;
    };
    const std::size_t middles = count > 0 ? static_cast<std::size_t>(count) : 0;
    if (!out.ends_with(std::string(final_line) + "\n\n")) {
        return failure("no final result at the end");
    }
    std::vector<std::string_view> lines;
    for (std::string_view rest = out; !rest.empty(); rest.remove_prefix(lines.back().size() + 1)) {
        lines.push_back(rest.substr(0, rest.find('\n')));
    }
    if (lines.size() != 16 + middles) {
        return failure(std::to_string(lines.size()) + " lines for COUNT " + std::to_string(count));
    }

    std::array<std::vector<std::string>, 2> workers;
    std::vector<long> samples;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const bool is_final = line.find("final result") != std::string_view::npos;
        if (is_final != (i + 1 < lines.size() && lines[i + 1].empty())) {
            return failure("line " + std::to_string(i + 1) +
                           " breaks the rule of a final line and an empty one");
        }
        if (line.starts_with("Thread m, ") || line.starts_with("Thread n, ")) {
            workers.at(line.starts_with("Thread m") ? 0 : 1).emplace_back(line);
        } else if (line.starts_with(middle_prefix)) {
            const std::string_view number = line.substr(middle_prefix.size());
            long value = -1;
            const auto parsed = std::from_chars(number.data(), number.data() + number.size(), value);
            samples.push_back(parsed.ptr == number.data() + number.size() ? value : -1);
        }
    }
    if (workers[0] != worker_lines('m') || workers[1] != worker_lines('n')) {
        return failure("a worker's lines are wrong or out of order");
    }
    if (samples.size() != middles) {
        return failure(std::to_string(samples.size()) + " middle lines for COUNT " + std::to_string(count));
    }
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (!is_total_of_partial_sums(samples[i]) || (i > 0 && samples[i] < samples[i - 1])) {
            return failure("middle result " + std::to_string(i + 1) + " is impossible or went backwards");
        }
    }
    return testing::AssertionSuccess();
}

testing::AssertionResult succeeds_with_every_property(const std::vector<std::string>& args,
                                                      std::int64_t count)
{
    const outcome r = run_program({.args = args});
    if (r.status != W_EXITCODE(0, 0) || !r.err.empty()) {
        return testing::AssertionFailure()
               << "COUNT " << args.front() << ": wait status " << r.status << ", standard error:\n"
               << r.err;
    }
    return keeps_every_property(r.out, count) << "for arguments " << testing::PrintToString(args);
}

// Threads that keep every core busy while they live, so that the program's
// threads are preempted at unlucky moments.
std::vector<std::jthread> busy_cores()
{
    std::vector<std::jthread> spinners(std::max(2U, std::thread::hardware_concurrency()));
    for (std::jthread& spinner : spinners) {
        spinner = std::jthread([](const std::stop_token& stop) {
            while (!stop.stop_requested()) {
            }
        });
    }
    return spinners;
}

// CONCURRENT_SUM_STRESS=RUNS makes that many random runs on a busy machine.
TEST(Interleavings, EveryRunKeepsEveryProperty)
{
    const char* stress = std::getenv("CONCURRENT_SUM_STRESS");
    const auto load = stress != nullptr ? busy_cores() : std::vector<std::jthread>{};

    for (const auto& [text, count] : std::vector<std::pair<std::string, std::int64_t>>{
             {"0", 0},
             {"1", 1},
             {"-1", -1},
             {"abc", 0},
             {"  +3", 3},
             {"2x", 2},
             {"-2147483648", INT32_MIN},
             {"400", 400}, // long enough that samples go on after both workers end
         }) {
        ASSERT_TRUE(succeeds_with_every_property({text}, count));
    }
    ASSERT_TRUE(succeeds_with_every_property({"3", "extra"}, 3));

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("random seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> count(0, 60);
    for (int run = 0, runs = stress != nullptr ? std::atoi(stress) : 400; run < runs; ++run) {
        const int c = count(random);
        ASSERT_TRUE(succeeds_with_every_property({std::to_string(c)}, c));
    }
}

TEST(Invocation, BadCountIsAUsageError)
{
    for (const std::string text : {"2147483648", "-2147483649", "99999999999"}) {
        const outcome r = run_program({.args = {text}});
        EXPECT_EQ(r.status, W_EXITCODE(2, 0)) << text;
        EXPECT_EQ(r.err, "concurrent_sum: COUNT out of range: " + text + "\n");
        EXPECT_EQ(r.out, "") << text;
    }
    const outcome r = run_program({});
    EXPECT_EQ(r.status, W_EXITCODE(2, 0));
    EXPECT_EQ(r.err, "usage: concurrent_sum COUNT\n");
    EXPECT_EQ(r.out, "");
}

TEST(LostOutput, UnwritableOutputFailsTheRun)
{
    for (const stdout_target target : {stdout_target::dev_full, stdout_target::closed}) {
        const outcome r = run_program({.args = {"3"}, .out = target});
        EXPECT_EQ(r.status, W_EXITCODE(1, 0));
        EXPECT_TRUE(r.err.starts_with("concurrent_sum: write error: ")) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
}

// The largest COUNT is a valid request; a reader that stops early ends it.
TEST(LostOutput, ReaderThatLeavesEarlyEndsTheRunBySigpipe)
{
    const outcome r = run_program({.args = {"2147483647"}, .read_at_most = 64 * 1024});
    EXPECT_GE(r.out.size(), 64U * 1024);
    EXPECT_TRUE(WIFSIGNALED(r.status) && WTERMSIG(r.status) == SIGPIPE) << "wait status " << r.status;
}

// Lowers the address-space limit step by step until both thread starts
// succeed, so that on the way the first start fails, and then the second.
TEST(StartFailure, AWorkerThatCannotStartFailsTheRunCleanly)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory needs more address space than any limit here";
#endif
    std::string m_alone;
    for (const std::string& line : worker_lines('m')) {
        m_alone += line + "\n";
    }
    m_alone += "\n";
    bool first_failed = false;
    bool second_failed = false;
    for (rlim_t limit = rlim_t{1} << 20; limit <= rlim_t{256} << 20; limit += rlim_t{64} << 10) {
        const outcome r = run_program({.args = {"3"}, .address_space = limit});
        SCOPED_TRACE("address space " + std::to_string(limit) + ", standard error: " + r.err);
        if (r.status == W_EXITCODE(127, 0)) {
            continue; // too little to load the program at all: exec or the loader failed
        }
        if (r.status == W_EXITCODE(0, 0)) {
            EXPECT_TRUE(keeps_every_property(r.out, 3));
            break;
        }
        ASSERT_EQ(r.status, W_EXITCODE(1, 0));
        EXPECT_TRUE(r.err.starts_with("concurrent_sum: cannot start a worker thread: "));
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1);
        // Either nothing ran, or m ran to its end and no result came.
        first_failed = first_failed || r.out.empty();
        second_failed = second_failed || r.out == m_alone;
        EXPECT_TRUE(r.out.empty() || r.out == m_alone) << r.out;
    }
    EXPECT_TRUE(first_failed);
    EXPECT_TRUE(second_failed);
}

} // namespace
