#include "process.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <system_error>

namespace {

void check(bool ok, const char* what)
{
    if (!ok) {
        throw std::system_error(errno, std::generic_category(), what);
    }
}

std::string read_until(int fd, std::size_t at_most)
{
    std::string text;
    std::array<char, 4096> buffer{};
    for (ssize_t got = 1; got > 0 && (at_most == 0 || text.size() < at_most);) {
        got = read(fd, buffer.data(), buffer.size());
        text.append(buffer.data(), static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    }
    return text;
}

} // namespace

outcome run_program(const launch& how)
{
    std::vector<std::string> words{CONCURRENT_SUM};
    words.insert(words.end(), how.args.begin(), how.args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    // Standard error goes to a memory file, read once the program has ended,
    // so that it never blocks the program while standard output is read.
    std::array<int, 2> out{};
    check(pipe2(out.data(), O_CLOEXEC) == 0, "pipe2");
    const int err = memfd_create("stderr", MFD_CLOEXEC);
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    check(err >= 0 && full >= 0, "memfd_create or open");

    const pid_t pid = fork();
    check(pid >= 0, "fork");
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec. SIGPIPE is
        // reset in case whatever started the tests ignores it.
        signal(SIGPIPE, SIG_DFL);
        if (how.address_space) {
            const rlimit limit{*how.address_space, *how.address_space};
            setrlimit(RLIMIT_AS, &limit);
        }
        if (how.out == stdout_target::closed) {
            close(STDOUT_FILENO);
        } else {
            dup2(how.out == stdout_target::dev_full ? full : out[1], STDOUT_FILENO);
        }
        dup2(err, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }

    close(out[1]);
    close(full);
    outcome result;
    result.out = read_until(out[0], how.read_at_most);
    close(out[0]);
    check(waitpid(pid, &result.status, 0) == pid, "waitpid");
    check(lseek(err, 0, SEEK_SET) == 0, "lseek");
    result.err = read_until(err, 0);
    close(err);
    return result;
}
