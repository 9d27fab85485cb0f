#include "transcript.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

struct outcome {
    std::string out;
    std::string err;
    int status = 0; // as waitpid reports it
};

// Runs the built program through the shell, so that a test writes its
// arguments, redirections and limits as a user would. Reads at most
// read_at_most bytes of standard output (0 reads all), then closes the pipe
// as `head` does. A program that has not ended after a minute is killed, so
// that a run that never ends fails its test instead of hanging it.
outcome run(const std::string& shell_args, std::size_t read_at_most = 0, const std::string& before = "")
{
    const std::string err_path = testing::TempDir() + "concurrent_sum_stderr." + std::to_string(getpid());
    const std::string command =
        before + "exec timeout 60 " CONCURRENT_SUM " " + shell_args + " 2>" + err_path;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        throw std::runtime_error("popen failed: " + command);
    }
    outcome r;
    std::array<char, 4096> buffer{};
    for (std::size_t got = 1; got > 0 && (read_at_most == 0 || r.out.size() < read_at_most);) {
        got = std::fread(buffer.data(), 1, buffer.size(), pipe);
        r.out.append(buffer.data(), got);
    }
    r.status = pclose(pipe);
    std::ifstream err(err_path);
    r.err.assign(std::istreambuf_iterator<char>(err), {});
    return r;
}

// A worker's six lines, in their order.
std::string worker_text(char letter)
{
    const std::string prefix = std::string("Thread ") + letter + ", ";
    std::string text;
    for (int k = 1; k <= transcript::last_term; ++k) {
        text +=
            prefix + "1+..+" + std::to_string(k) + " = " + std::to_string(transcript::partial_sum(k)) + "\n";
    }
    return text + prefix +
           "the final result = " + std::to_string(transcript::partial_sum(transcript::last_term)) + "\n";
}

// What every interleaving of the three threads must keep: each line one of the
// six texts, an empty line after each final line and nowhere else, and the
// lines in their order keeping every property of a transcript.
testing::AssertionResult keeps_every_property(const std::string& out, std::int64_t count)
{
    const auto failure = [&out](std::size_t line, const char* what) {
        return testing::AssertionFailure() << "line " << line << ": " << what << " in:\n" << out;
    };
    if (!out.ends_with("\n\n")) {
        return failure(0, "the output does not end with an empty line");
    }
    transcript::checker check(count, transcript::checker::order::printed);
    std::size_t number = 0;
    bool after_final = false;
    for (std::string_view rest = out; !rest.empty();) {
        const std::string_view text = rest.substr(0, rest.find('\n'));
        rest.remove_prefix(text.size() + 1);
        ++number;
        if (text.empty() != after_final) {
            return failure(number, "breaks the rule of a final line and an empty one");
        }
        after_final = false;
        if (text.empty()) {
            continue;
        }
        const std::optional<transcript::line> line = transcript::parse(text);
        if (!line) {
            return failure(number, "is none of the six texts");
        }
        after_final = line->final;
        if (!check.add(*line)) {
            return failure(number, check.what);
        }
    }
    if (!check.finish()) {
        return failure(number, check.what);
    }
    return testing::AssertionSuccess();
}

testing::AssertionResult succeeds_with_every_property(const std::string& args, std::int64_t count)
{
    const outcome r = run(args);
    if (r.status != W_EXITCODE(0, 0) || !r.err.empty()) {
        return testing::AssertionFailure()
               << "arguments " << args << ": wait status " << r.status << ", standard error:\n"
               << r.err;
    }
    return keeps_every_property(r.out, count) << "for arguments " << args;
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

    // 400 is long enough that samples go on after both workers end.
    for (const auto& [args, count] :
         std::vector<std::pair<std::string, std::int64_t>>{{"0", 0},
                                                           {"1", 1},
                                                           {"-1", -1},
                                                           {"abc", 0},
                                                           {"'  +3'", 3},
                                                           {"2x", 2},
                                                           {"-2147483648", INT32_MIN},
                                                           {"400", 400},
                                                           {"3 extra", 3}}) {
        ASSERT_TRUE(succeeds_with_every_property(args, count));
    }

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("random seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> count(0, 60);
    for (int run = 0, runs = stress != nullptr ? std::atoi(stress) : 400; run < runs; ++run) {
        const int c = count(random);
        ASSERT_TRUE(succeeds_with_every_property(std::to_string(c), c));
    }
}

TEST(Invocation, BadCountIsAUsageError)
{
    for (const std::string text : {"2147483648", "-2147483649", "99999999999"}) {
        const outcome r = run(text);
        EXPECT_EQ(r.status, W_EXITCODE(2, 0)) << text;
        EXPECT_EQ(r.err, "concurrent_sum: COUNT out of range: " + text + "\n");
        EXPECT_EQ(r.out, "") << text;
    }
    const outcome r = run("");
    EXPECT_EQ(r.status, W_EXITCODE(2, 0));
    EXPECT_EQ(r.err, "usage: concurrent_sum COUNT\n");
    EXPECT_EQ(r.out, "");
}

// Output that cannot be written fails the run, whether the loss shows only at
// exit or at once; and once it is gone for good, the largest COUNT ends at
// once rather than sampling on for hours with every line lost.
TEST(LostOutput, UnwritableOutputFailsTheRun)
{
    struct loss {
        std::string before;
        std::string args;
        std::size_t read_at_most;
        std::string_view reason; // where it is certain
    };
    for (const auto& [before, args, read_at_most, reason] :
         std::vector<loss>{{"", "3 >/dev/full", 0, "No space left on device\n"},
                           {"", "3 >&-", 0, "Bad file descriptor\n"},
                           {"", "2147483647 >/dev/full", 0, ""},
                           {"trap '' PIPE; ", "2147483647", 64 * 1024, ""}}) {
        const outcome r = run(args, read_at_most, before);
        EXPECT_EQ(r.status, W_EXITCODE(1, 0)) << before << args;
        EXPECT_TRUE(r.err.starts_with("concurrent_sum: write error: ") && r.err.ends_with(reason)) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
}

// The largest COUNT is a valid request; a reader that stops early ends it.
TEST(LostOutput, ReaderThatLeavesEarlyEndsTheRunBySigpipe)
{
    std::signal(SIGPIPE, SIG_DFL); // in case whatever started the tests ignores it
    const outcome r = run("2147483647", 64 * 1024);
    EXPECT_GE(r.out.size(), 64U * 1024);
    EXPECT_TRUE(WIFSIGNALED(r.status) && WTERMSIG(r.status) == SIGPIPE) << "wait status " << r.status;
}

// Lowers the address-space limit step by step until both thread starts
// succeed, so that on the way the first start fails, and then the second.
TEST(StartFailure, AWorkerThatCannotStartFailsTheRunCleanly)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory needs more address space than any limit here";
#elif defined(CONCURRENT_SUM_EMULATED)
    GTEST_SKIP() << "under emulation the limit bounds the emulator's address space, not the program's";
#endif
    const std::string m_alone = worker_text('m') + "\n";
    bool first_failed = false;
    bool second_failed = false;
    for (int kib = 1024; kib <= 256 * 1024; kib += 64) {
        const outcome r = run("3", 0, "ulimit -v " + std::to_string(kib) + "; ");
        SCOPED_TRACE("address space " + std::to_string(kib) + " KiB, standard error: " + r.err);
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
