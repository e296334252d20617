// sdk_start_main_thread_ms: how long the SDK's early start holds the main thread at launch: the
// did-finish-launching notification (which starts the SDK in a fresh process) plus the main-loop tasks
// it leaves behind. The start runs once per process, so each run is a fresh child process; the figure
// is the median of the runs.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ads/core/signals/GADApplication.h"
#include "platform/foundation/Sandbox.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/MainLoop.h"
#include "platform/ui/Application.h"
#include "bench/BenchQuick.h"

extern char** environ;

namespace {

const int kRuns = bench::quickOr(15, 2);

// One launch in this process; prints the milliseconds.
int launchOnce() {
    char pattern[] = "/tmp/ruzave-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string home = pattern;
    platform::Sandbox::resetForTesting(home);
    auto app = platform::Application::sharedApplication();

    auto start = std::chrono::steady_clock::now();
    app->finishLaunching();
    platform::MainLoop::main().runUntilIdle();
    auto end = std::chrono::steady_clock::now();

    bool started = ruzave::GADApplication::sharedInstance()->hasRunEarlyActivities();
    platform::UserDefaults::standard()->synchronize();
    platform::Sandbox::removeItem(home);
    if (!started) {
        std::fprintf(stderr, "the SDK did not start\n");
        return 1;
    }
    std::printf("%.4f\n", std::chrono::duration<double, std::milli>(end - start).count());
    return 0;
}

// Runs this program with --once and reads the figure it prints.
bool runChild(const char* self, double& ms) {
    int pipeFDs[2];
    if (::pipe(pipeFDs) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFDs[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFDs[0]);
    char once[] = "--once";
    char* argv[] = {const_cast<char*>(self), once, nullptr};
    pid_t pid = 0;
    int rc = posix_spawn(&pid, self, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFDs[1]);
    if (rc != 0) {
        ::close(pipeFDs[0]);
        return false;
    }
    std::string out;
    char buffer[256];
    for (ssize_t n; (n = ::read(pipeFDs[0], buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFDs[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
    char* end = nullptr;
    ms = std::strtod(out.c_str(), &end);
    return end != out.c_str();
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--once") return launchOnce();
    std::vector<double> times;
    for (int run = 0; run < kRuns; ++run) {
        double ms = 0;
        if (!runChild("/proc/self/exe", ms)) {
            std::fprintf(stderr, "bench_sdk_start: a launch failed\n");
            return 1;
        }
        times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    std::printf("sdk_start_main_thread_ms: %.3f ms\n", times[times.size() / 2]);
    return 0;
}
