#include <doctest/doctest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "ads/core/net/GADPinger.h"
#include "ads/core/telemetry/GADCrashReporter.h"
#include "ads/core/util/GADNSURLUtilities.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/DispatchQueue.h"
#include "tests/ads/core/net/FetchTestSupport.h"
#include "tools/adserver/CrashReportRoutes.h"

extern char** environ;

using ruzave::GADCrashReporter;
using Exception = GADCrashReporter::Exception;

namespace {

constexpr const char* kChildVariable = "RUZAVE_TEST_CRASH_CHILD";
constexpr const char* kChildCase = "GADCrashReporter: crashing child";

std::string stackParameter(const std::optional<platform::URL>& url) {
    REQUIRE(url.has_value());
    return ruzave::gad_parameterValueForKey(*url, "stacktrace").value_or("<none>");
}

// Runs this test binary as the crashing child in `mode`; its exit status and what it printed.
struct ChildRun {
    int status = -1;
    std::string output;
};

ChildRun runChild(const std::string& mode) {
    ChildRun run;
    int fds[2];
    REQUIRE(::pipe2(fds, O_CLOEXEC) == 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    env.push_back(std::string(kChildVariable) + "=" + mode);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    char path[PATH_MAX] = {};
    REQUIRE(::readlink("/proc/self/exe", path, sizeof path - 1) > 0);
    std::string filter = std::string("--test-case=") + kChildCase;
    char* argv[] = {path, filter.data(), nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, path, &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    REQUIRE(spawned == 0);
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) run.output.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    REQUIRE(::waitpid(pid, &status, 0) == pid);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

platform::Value crashGroup() {
    platform::UserDefaults::resetStandardForTesting();
    return platform::UserDefaults::standard()->dictionary(GADCrashReporter::kRetryGroupKey).value_or(platform::Value::object());
}

[[noreturn]] void failInsideSDK() { throw std::runtime_error("GADSlot: bad state"); }
[[noreturn]] void failInsideApp() { throw std::logic_error("plain failure"); }

} // namespace

TEST_CASE("GADCrashReporter: the stack text of an exception") {
    SUBCASE("an exception of the app's own code is not reported") {
        CHECK_FALSE(GADCrashReporter::stackTextForException({"std::logic_error", "bad index", {"0 app main + 12"}}, "app"));
        CHECK_FALSE(GADCrashReporter::stackTextForException({"GADLike", std::nullopt, {}}, "app"));
    }
    SUBCASE("a reason naming the SDK is reported sanitised") {
        auto text = GADCrashReporter::stackTextForException({"std::runtime_error", "GADSlot: bad state", {}}, "app");
        CHECK(text == "std::runtime_error-GADSlot_bad_state");
        CHECK(GADCrashReporter::sanitize("a - +[b]:: c\n\td") == "a_b_c_d");
    }
    SUBCASE("the app's process name becomes filtered and an app reason is withheld") {
        auto text = GADCrashReporter::stackTextForException(
            {"E", "secret of the app", {"1 myapp 0x10 -[VODView layout] + 4", "2 libc.so start"}}, "myapp");
        CHECK(text == "E-filtered-1_filtered_0x10_VODView_layout_4-2_libc.so_start");
    }
    SUBCASE("a process name that hides an SDK mention does not make it count") {
        CHECK_FALSE(GADCrashReporter::stackTextForException({"E", "x", {"GADapp crashed"}}, "GADapp"));
    }
    SUBCASE("an empty process name replaces nothing") {
        auto text = GADCrashReporter::stackTextForException({"E", "GAD", {"ab"}}, "");
        CHECK(text == "E-GAD-ab");
    }
    SUBCASE("the text is cut to 500 characters, never inside a character") {
        const std::string reason = "GAD" + std::string(494, 'x');  // "E-" + 497 = 499 characters
        CHECK(GADCrashReporter::stackTextForException({"E", reason, {}}, "")->size() == 499);
        CHECK(GADCrashReporter::stackTextForException({"E", reason + "y", {}}, "")->size() == 500);
        CHECK(GADCrashReporter::stackTextForException({"E", reason + "yz", {}}, "")->size() == 500);
        // Two-byte characters across the cut: 498 one-byte ones, then three "é".
        auto text = GADCrashReporter::stackTextForException({"E", "GAD" + std::string(493, 'x') + "\xC3\xA9\xC3\xA9\xC3\xA9", {}}, "");
        REQUIRE(text);
        CHECK(text->size() == 498 + 4);
        CHECK(text->substr(498) == "\xC3\xA9\xC3\xA9");
    }
}

TEST_CASE("GADCrashReporter: the report URL") {
    const platform::Value fixed{{"id", "diri-apps-report-exception"}, {"os", ""}, {"appid", "com.example.app"}, {"js", "7.0"}};
    SUBCASE("missing values are left out and the stack text is escaped") {
        auto url = GADCrashReporter::reportURL(fixed, "a&b=c", std::nullopt);
        REQUIRE(url);
        CHECK(url->absoluteString().rfind("https://ping.ruzave.example/pagead/gen_204?id=diri-apps-report-exception&appid=com.example.app&js=7.0&stacktrace=", 0) == 0);
        CHECK(url->absoluteString().find("os=") == std::string::npos);
        CHECK(stackParameter(url) == "a&b=c");
        CHECK_FALSE(ruzave::gad_parameterValueForKey(*url, "eids"));
    }
    SUBCASE("a stored experiment id comes last") {
        auto url = GADCrashReporter::reportURL(fixed, "s", std::string("e 1"));
        REQUIRE(url);
        const std::string text = url->absoluteString();
        CHECK(text.substr(text.rfind('&')) == "&eids=e%201");
    }
}

// Not a test of its own: the body of the crashing child that the cases below start.
TEST_CASE("GADCrashReporter: crashing child") {
    const char* mode = std::getenv(kChildVariable);
    if (mode == nullptr) return;
    std::set_terminate([] {
        (void)!::write(1, "previous\n", 9);
        ::_exit(3);
    });
    auto reporter = GADCrashReporter::sharedInstance();
    if (std::string(mode) == "disabled") reporter->disableReporting();
    reporter->enableReporting();
    reporter->enableReporting();
    const std::string state = reporter->isReportingEnabled() ? "installed\n" : "not installed\n";
    (void)!::write(1, state.data(), state.size());
    if (std::string(mode) == "app") {
        std::thread([] { failInsideApp(); }).join();
    } else {
        // Thrown from inside the pinger's own queue, which the report then goes through.
        ruzave::GADPinger::sharedInstance()->lockQueue()->async([] { [&]() noexcept { failInsideSDK(); }(); });
    }
    for (;;) ::pause();
}

TEST_CASE_FIXTURE(fetchtest::ServerFixture, "GADCrashReporter: a crash is stored, then sent on the next launch") {
    adserver::installCrashReportEndpoint(*server);
    platform::UserDefaults::standard()->set(GADCrashReporter::kExperimentIDKey, "exp7");
    REQUIRE(platform::UserDefaults::standard()->synchronize());

    ChildRun child = runChild("sdk");
    CHECK(child.output.rfind("installed\nprevious\n", 0) == 0);  // the test runner may add its own lines after
    CHECK(child.status == 3);
    platform::Value group = crashGroup();
    REQUIRE(group.size() == 1);
    const std::string stored = group.begin().key();

    auto pinger = ruzave::GADPinger::init();
    pinger->lockQueue()->async([pinger] { pinger->pingRetryURLs(); });
    REQUIRE(settle([&] { return server->requestCount(GADCrashReporter::kReportPath) == 1; }));
    const auto request = server->requests(GADCrashReporter::kReportPath).front();
    CHECK(request.host == ruzave::GADHosts::kPingHost);
    CHECK(request.param("id") == "diri-apps-report-exception");
    CHECK(request.param("eids") == "exp7");
    CHECK_FALSE(request.param("js").empty());
    const std::string stack = request.param("stacktrace");
    CHECK(stack.rfind("std::runtime_error-GADSlot_bad_state-", 0) == 0);
    CHECK(stack.size() <= GADCrashReporter::kMaximumStackTextLength);
    CHECK(stored.find("/pagead/gen_204?") != std::string::npos);
    // Sent once, the report is gone from the store.
    REQUIRE(runUntil([&] { return crashGroup().empty(); }));
}

TEST_CASE_FIXTURE(fetchtest::ServerFixture, "GADCrashReporter: what is not reported still reaches the previous handler") {
    SUBCASE("an exception of the app's own code") {
        ChildRun child = runChild("app");
        CHECK(child.output.rfind("installed\nprevious\n", 0) == 0);  // the test runner may add its own lines after
        CHECK(child.status == 3);
    }
    SUBCASE("reporting turned off before the start") {
        ChildRun child = runChild("disabled");
        CHECK(child.output.rfind("not installed\nprevious\n", 0) == 0);
        CHECK(child.status == 3);
    }
    CHECK(crashGroup().empty());
}
