#include "process.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <atomic>
#include <charconv>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

constexpr std::string_view middle_prefix = "Main thread, the middle result m+n = ";
constexpr std::string_view final_line = "Main thread, the final result m+n = 30";
constexpr std::array<long, 6> partial_sums{0, 1, 3, 6, 10, 15};

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

struct worker_lines {
    std::string prefix;
    std::vector<std::string> expected;
    std::size_t seen = 0;

    explicit worker_lines(char letter) : prefix{std::string("Thread ") + letter + ", "}
    {
        for (int k = 1; k <= 5; ++k) {
            expected.push_back(prefix + "1+..+" + std::to_string(k) + " = " +
                               std::to_string(partial_sums[k]));
        }
        expected.push_back(prefix + "the final result = 15");
    }
};

// What every interleaving of the three threads must keep: each worker's six
// lines in order with their exact values; exactly max(count, 0) middle lines,
// each a total of two partial sums, never decreasing; an empty line after
// each final line; and the final result as the very end.
testing::AssertionResult keeps_every_property(const std::string& out, std::int64_t count)
{
    const std::size_t middles = count > 0 ? static_cast<std::size_t>(count) : 0;
    if (out.empty() || out.back() != '\n') {
        return testing::AssertionFailure() << "output does not end in a line feed:\n" << out;
    }
    std::vector<std::string_view> lines;
    for (std::string_view rest = out; !rest.empty();) {
        const std::size_t end = rest.find('\n');
        lines.push_back(rest.substr(0, end));
        rest.remove_prefix(end + 1);
    }
    if (lines.size() != 16 + middles) {
        return testing::AssertionFailure() << lines.size() << " lines, not " << 16 + middles << ":\n" << out;
    }

    std::array<worker_lines, 2> workers{worker_lines{'m'}, worker_lines{'n'}};
    std::size_t samples = 0;
    long last_sample = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        bool is_final = line == final_line && i + 2 == lines.size();
        bool known = is_final;
        for (worker_lines& w : workers) {
            if (line.starts_with(w.prefix)) {
                known = w.seen < w.expected.size() && line == w.expected[w.seen];
                is_final = known && ++w.seen == w.expected.size();
            }
        }
        if (line.starts_with(middle_prefix)) {
            const std::string_view number = line.substr(middle_prefix.size());
            long value = -1;
            const auto parsed = std::from_chars(number.data(), number.data() + number.size(), value);
            known = parsed.ptr == number.data() + number.size() && is_total_of_partial_sums(value) &&
                    value >= last_sample;
            last_sample = value;
            ++samples;
        }
        if (!known) {
            return testing::AssertionFailure() << "line " << i + 1 << " is out of place: \"" << line << "\"\n"
                                               << out;
        }
        if (is_final && (++i == lines.size() || !lines[i].empty())) {
            return testing::AssertionFailure() << "no empty line after line " << i << ":\n" << out;
        }
    }
    if (samples != middles || lines[lines.size() - 2] != final_line) {
        return testing::AssertionFailure() << samples << " middle lines for COUNT " << count << ":\n" << out;
    }
    return testing::AssertionSuccess();
}

// Keeps every core busy, so that the program's threads are preempted at
// unlucky moments.
class busy_cores {
public:
    busy_cores()
    {
        for (unsigned i = 0; i < std::max(2U, std::thread::hardware_concurrency()); ++i) {
            spinners_.emplace_back([this] {
                while (!stop_.load(std::memory_order_relaxed)) {
                }
            });
        }
    }
    busy_cores(const busy_cores&) = delete;
    busy_cores& operator=(const busy_cores&) = delete;
    ~busy_cores() { stop_.store(true, std::memory_order_relaxed); }

private:
    std::atomic<bool> stop_{false};
    std::vector<std::jthread> spinners_;
};

struct run_case {
    std::vector<std::string> args;
    std::int64_t count;
};

testing::AssertionResult succeeds_with_every_property(const run_case& c)
{
    const outcome r = run_program({.args = c.args});
    if (!WIFEXITED(r.status) || WEXITSTATUS(r.status) != 0 || !r.err.empty()) {
        return testing::AssertionFailure()
               << "COUNT " << c.args.front() << ": wait status " << r.status << ", standard error:\n"
               << r.err;
    }
    return keeps_every_property(r.out, c.count) << " (arguments: " << testing::PrintToString(c.args) << ")";
}

// CONCURRENT_SUM_STRESS=RUNS makes that many random runs against a full
// machine.
TEST(Interleavings, EveryRunKeepsEveryProperty)
{
    const char* stress = std::getenv("CONCURRENT_SUM_STRESS");
    const int runs = stress != nullptr ? std::atoi(stress) : 400;
    std::optional<busy_cores> load;
    if (stress != nullptr) {
        load.emplace();
    }

    std::vector<run_case> cases{
        {{"0"}, 0},
        {{"1"}, 1},
        {{"3"}, 3},
        {{"-1"}, -1},
        {{"abc"}, 0},
        {{"  +3"}, 3},
        {{"2x"}, 2},
        {{"3", "extra"}, 3},
        {{"-2147483648"}, INT32_MIN},
        // Long enough that samples go on after both workers have ended.
        {{"400"}, 400},
    };
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> count(0, 60);
    for (int i = 0; i < runs; ++i) {
        const int c = count(random);
        cases.push_back({{std::to_string(c)}, c});
    }

    SCOPED_TRACE("random seed " + std::to_string(seed));
    for (const run_case& c : cases) {
        ASSERT_TRUE(succeeds_with_every_property(c));
    }
}

TEST(Invocation, NoArgumentIsAUsageError)
{
    const outcome r = run_program({});
    EXPECT_EQ(r.status, W_EXITCODE(2, 0));
    EXPECT_EQ(r.err, "usage: concurrent_sum COUNT\n");
    EXPECT_EQ(r.out, "");
}

TEST(Invocation, CountOutsideAnIntIsRefused)
{
    for (const std::string text : {"2147483648", "-2147483649", "99999999999"}) {
        const outcome r = run_program({.args = {text}});
        EXPECT_EQ(r.status, W_EXITCODE(2, 0)) << text;
        EXPECT_EQ(r.err, "concurrent_sum: COUNT out of range: " + text + "\n");
        EXPECT_EQ(r.out, "") << text;
    }
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
    EXPECT_TRUE(WIFSIGNALED(r.status) && WTERMSIG(r.status) == SIGPIPE) << "wait status " << r.status;
    EXPECT_GE(r.out.size(), 64U * 1024);
}

// Lowers the address-space limit step by step until both thread starts
// succeed, so that on the way the first start fails, and then the second.
TEST(StartFailure, AWorkerThatCannotStartFailsTheRunCleanly)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory needs more address space than any limit here allows";
#endif
    const std::string complete_m = worker_lines{'m'}.expected.back() + "\n\n";
    bool first_failed = false;
    bool second_failed = false;
    for (rlim_t limit = 1 << 20; limit <= rlim_t{256} << 20; limit += rlim_t{256} << 10) {
        const outcome r = run_program({.args = {"3"}, .address_space = limit});
        SCOPED_TRACE("address space " + std::to_string(limit) + ", standard error: " + r.err);
        if (r.status == W_EXITCODE(127, 0) &&
            r.err.find("error while loading shared libraries") != std::string::npos) {
            continue; // too little to load the program at all
        }
        if (r.status == W_EXITCODE(0, 0)) {
            EXPECT_TRUE(keeps_every_property(r.out, 3));
            break;
        }
        ASSERT_EQ(r.status, W_EXITCODE(1, 0));
        EXPECT_TRUE(r.err.starts_with("concurrent_sum: cannot start a worker thread: "));
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1);
        if (r.out.empty()) {
            first_failed = true;
        } else {
            // m's lines are complete, n's absent, and no result is printed.
            EXPECT_TRUE(r.out.ends_with(complete_m)) << r.out;
            EXPECT_EQ(r.out.find("Thread n"), std::string::npos) << r.out;
            EXPECT_EQ(r.out.find("Main thread"), std::string::npos) << r.out;
            second_failed = true;
        }
    }
    EXPECT_TRUE(first_failed);
    EXPECT_TRUE(second_failed);
}

} // namespace
