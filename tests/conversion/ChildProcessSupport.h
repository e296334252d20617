#pragma once
// Shared by the conversion tests that kill the app: this test binary started again as a child process
// on a given home, as a relaunched app, and the lines it writes to its standard output.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace conversiontest {

struct Child {
    pid_t pid = -1;
    int out = -1;
};

// Starts this test binary with `args` on `home`, with `env` ("NAME=value") added to this process's
// environment; its standard output is `out`. pid -1 when it cannot.
inline Child spawnChild(const std::string& home, const std::vector<std::string>& extraEnv,
                        const std::vector<std::string>& args = {}) {
    Child child;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return child;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string_view(*e).rfind("RUZAVE_APP_HOME=", 0) != 0) env.emplace_back(*e);
    }
    env.push_back("RUZAVE_APP_HOME=" + home);
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStrings{"/proc/self/exe"};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&child.pid, "/proc/self/exe", &actions, nullptr, argv.data(), envp.data()) != 0) child.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    child.out = fds[0];
    return child;
}

// Reads whole lines from the child for up to `waitMs` of real time (negative: until it closes).
inline void readLines(int fd, std::string& pending, std::vector<std::string>& lines, int waitMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        int timeout = -1;
        if (waitMs >= 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
            if (left <= 0) return;
            timeout = static_cast<int>(left);
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeout) <= 0) return;
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) return;
        pending.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
            lines.push_back(pending.substr(0, nl));
            pending.erase(0, nl + 1);
        }
    }
}

} // namespace conversiontest
