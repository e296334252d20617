#include <string>
#include <vector>

#include "platform/foundation/NotificationCenter.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

using namespace platform;
using platform::testing::Harness;

namespace {

struct Recorder {
    std::vector<std::string> names;
    std::vector<ApplicationState> states;
    std::vector<NotificationCenter::Token> tokens;
    Recorder() {
        auto app = Application::sharedApplication();
        for (const char* n : {kApplicationDidFinishLaunching, kApplicationDidBecomeActive, kApplicationWillResignActive,
                              kApplicationDidEnterBackground, kApplicationWillEnterForeground, kApplicationWillTerminate,
                              kApplicationDidReceiveMemoryWarning, kApplicationDidChangeStatusBarOrientation}) {
            tokens.push_back(NotificationCenter::defaultCenter()->addObserver(
                n, app.get(), nullptr, [this, app](const Notification& note) {
                    names.push_back(note.name);
                    states.push_back(app->applicationState());
                }));
        }
    }
    ~Recorder() {
        for (auto t : tokens) NotificationCenter::defaultCenter()->removeObserver(t);
    }
};

std::string shortName(const std::string& n) { return n.substr(std::string("UIApplication").size()); }

} // namespace

TEST_CASE_FIXTURE(Harness, "Application: the life cycle posts its notifications in order with the right states") {
    Recorder rec;
    auto app = Application::sharedApplication();
    CHECK(app->applicationState() == ApplicationState::Inactive);
    app->finishLaunching();
    app->finishLaunching(); // once only
    app->becomeActive();
    app->enterBackground(); // resigns first
    app->enterForeground();
    app->becomeActive();
    app->receiveMemoryWarning();
    app->terminate();
    std::vector<std::string> names;
    for (auto& n : rec.names) names.push_back(shortName(n));
    CHECK(names == std::vector<std::string>{
                       "DidFinishLaunchingNotification", "DidBecomeActiveNotification",
                       "WillResignActiveNotification", "DidEnterBackgroundNotification",
                       "WillEnterForegroundNotification", "DidBecomeActiveNotification",
                       "DidReceiveMemoryWarningNotification", "WillResignActiveNotification",
                       "WillTerminateNotification"});
    using S = ApplicationState;
    CHECK(rec.states == std::vector<S>{S::Inactive, S::Active, S::Active, S::Background, S::Background, S::Active,
                                       S::Active, S::Active, S::Inactive});
    CHECK(int(ApplicationState::Background) == 2);
    CHECK(app->hasFinishedLaunching());
}

TEST_CASE_FIXTURE(Harness, "Application: openURL and canOpenURL answer from the installed schemes") {
    auto app = Application::sharedApplication();
    auto http = *URL::parse("https://example.com/x");
    auto store = *URL::parse("itms-apps://itunes.example/app/1");
    auto junk = *URL::parse("relative/path");
    CHECK(app->canOpenURL(http));
    CHECK_FALSE(app->canOpenURL(store));
    CHECK_FALSE(app->canOpenURL(junk));
    CHECK_FALSE(app->openURL(store));
    app->installURLScheme("ITMS-APPS");
    CHECK(app->canOpenURL(store));
    CHECK(app->openURL(store));
    CHECK(app->openURL(http));
    CHECK(app->openedURLs() == std::vector<URL>{store, store, http});
    app->uninstallURLScheme("itms-apps");
    CHECK_FALSE(app->canOpenURL(store));
}

TEST_CASE_FIXTURE(Harness, "Application: status bar orientation posts its change, and orientation masks per window") {
    Recorder rec;
    auto app = Application::sharedApplication();
    app->setStatusBarOrientation(InterfaceOrientation::Portrait); // unchanged: no post
    app->setStatusBarOrientation(InterfaceOrientation::LandscapeLeft);
    CHECK(rec.names == std::vector<std::string>{kApplicationDidChangeStatusBarOrientation});
    CHECK(app->statusBarOrientation() == InterfaceOrientation::LandscapeLeft);

    app->setSupportedInterfaceOrientations(InterfaceOrientationMaskAll);
    CHECK(app->supportedInterfaceOrientationsForWindow(nullptr) == InterfaceOrientationMaskAll);
    auto window = Window::create();
    window->setRootViewController(ViewController::create());
    CHECK(app->supportedInterfaceOrientationsForWindow(window) == InterfaceOrientationMaskAllButUpsideDown);
    app->setIdleTimerDisabled(true);
    CHECK(app->isIdleTimerDisabled());
}

TEST_CASE_FIXTURE(Harness, "Application: background tasks end once and expire through their handlers") {
    auto app = Application::sharedApplication();
    int expired = 0;
    auto a = app->beginBackgroundTask([&] { ++expired; });
    auto b = app->beginBackgroundTask([&] { ++expired; });
    CHECK(a != b);
    CHECK(a != kBackgroundTaskInvalid);
    CHECK(app->backgroundTaskCount() == 2);
    app->endBackgroundTask(a);
    app->endBackgroundTask(a); // unknown now: logged, harmless
    CHECK(app->backgroundTaskCount() == 1);
    app->expireBackgroundTasks();
    CHECK(expired == 1);
    CHECK(app->backgroundTaskCount() == 0);
}
