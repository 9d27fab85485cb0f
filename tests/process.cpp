#include "process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace {

[[noreturn]] void fail(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

struct pipe_ends {
    int read = -1;
    int write = -1;
};

pipe_ends make_pipe()
{
    std::array<int, 2> fds{};
    if (pipe2(fds.data(), O_CLOEXEC) != 0) {
        fail("pipe2");
    }
    return {fds[0], fds[1]};
}

// Drains both pipes together, so that neither can fill up and stall the
// program while the other is being read.
void drain(int out_fd, int err_fd, std::size_t read_at_most, outcome& result)
{
    std::array<pollfd, 2> fds{{{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}}};
    std::array<std::string*, 2> into{&result.out, &result.err};
    int open_count = 2;
    while (open_count > 0) {
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("poll");
        }
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            std::array<char, 4096> buffer{};
            const ssize_t got = read(fds[i].fd, buffer.data(), buffer.size());
            if (got > 0) {
                into[i]->append(buffer.data(), static_cast<std::size_t>(got));
            }
            const bool enough = i == 0 && read_at_most > 0 && result.out.size() >= read_at_most;
            if (got <= 0 || enough) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
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

    const pipe_ends out = make_pipe();
    const pipe_ends err = make_pipe();
    const int full = how.out == stdout_target::dev_full ? open("/dev/full", O_WRONLY | O_CLOEXEC) : -1;

    const pid_t pid = fork();
    if (pid < 0) {
        fail("fork");
    }
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        if (how.address_space) {
            const rlimit limit{*how.address_space, *how.address_space};
            setrlimit(RLIMIT_AS, &limit);
        }
        if (how.out == stdout_target::closed) {
            close(STDOUT_FILENO);
        } else {
            dup2(how.out == stdout_target::dev_full ? full : out.write, STDOUT_FILENO);
        }
        dup2(err.write, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }

    if (full >= 0) {
        close(full);
    }
    close(out.write);
    close(err.write);
    outcome result;
    drain(out.read, err.read, how.read_at_most, result);
    while (waitpid(pid, &result.status, 0) < 0) {
        if (errno != EINTR) {
            fail("waitpid");
        }
    }
    return result;
}
