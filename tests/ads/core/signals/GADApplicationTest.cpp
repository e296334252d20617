#include <doctest/doctest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "ads/core/public/GADRequest.h"
#include "ads/core/sdkcore/GADSDKCoreController.h"
#include "ads/core/sdkcore/GADSDKCoreGMSGHandler.h"
#include "ads/core/sdkcore/GADSDKCoreWebView.h"
#include "ads/core/signals/GADApplication.h"
#include "ads/core/signals/GADSession.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "ads/render/GADMRAIDInterceptor.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Sandbox.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/MainLoop.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"

using ruzave::GADApplication;

namespace {

// Records the start-up steps, and what the record said of itself while each ran.
struct StepRecorder {
    std::vector<std::string> steps;
    std::vector<bool> doneWhileRunning;
    std::vector<bool> onMainThread;

    StepRecorder() {
        GADApplication::setEarlyActivitiesObserver([this](const std::string& step) {
            steps.push_back(step);
            doneWhileRunning.push_back(GADApplication::sharedInstance()->hasRunEarlyActivities());
            onMainThread.push_back(platform::MainLoop::isMainThread());
        });
    }
    ~StepRecorder() { GADApplication::setEarlyActivitiesObserver(nullptr); }
};

const std::vector<std::string> kSteps = {"device", "mraid", "tokens", "pinger", "purchases", "crash"};

void registerClass(const std::string& name, std::vector<std::string> protocols) {
    platform::ClassRegistry::ClassInfo info;
    info.factory = [] { return std::shared_ptr<void>(); };
    info.protocols = std::move(protocols);
    platform::ClassRegistry::registerClass(name, std::move(info));
}

std::set<std::string> asSet(const std::optional<std::vector<std::string>>& names) {
    return names ? std::set<std::string>(names->begin(), names->end()) : std::set<std::string>();
}

} // namespace

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "GADApplication: the launch notification starts the SDK once, in order, and marks the flag last") {
    StepRecorder recorder;
    auto record = GADApplication::sharedInstance();
    platform::Application::sharedApplication()->finishLaunching();
    runUntilIdle();
    CHECK(record->appFinishedLaunching());
    CHECK(record->hasRunEarlyActivities());
    CHECK(recorder.steps == kSteps);
    // The done flag is set after the last step, not before the first.
    CHECK(std::none_of(recorder.doneWhileRunning.begin(), recorder.doneWhileRunning.end(), [](bool b) { return b; }));
    CHECK(std::all_of(recorder.onMainThread.begin(), recorder.onMainThread.end(), [](bool b) { return b; }));
    CHECK(ruzave::GADMRAIDInterceptor::isAllowed());

    // Every later trigger finds it done.
    record->runEarlyActivities();
    ruzave::GADSlot::init();
    ruzave::GADRequest::request();
    runUntilIdle();
    CHECK(recorder.steps.size() == kSteps.size());
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "GADApplication: a first request before launching starts the SDK, and the later launch only sets the flag") {
    StepRecorder recorder;
    auto record = GADApplication::sharedInstance();
    ruzave::GADRequest::request();
    runUntilIdle();
    CHECK(record->hasRunEarlyActivities());
    CHECK_FALSE(record->appFinishedLaunching());
    platform::Application::sharedApplication()->finishLaunching();
    runUntilIdle();
    CHECK(record->appFinishedLaunching());
    CHECK(recorder.steps == kSteps);
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "GADApplication: two threads making the first requests start the SDK once, on the main thread") {
    StepRecorder recorder;
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < 2; ++i) {
        threads.emplace_back([&go] {
            while (!go.load()) std::this_thread::yield();
            for (int n = 0; n < 20; ++n) ruzave::GADRequest::request();
        });
    }
    go = true;
    for (auto& thread : threads) thread.join();
    CHECK(runUntil([] { return GADApplication::sharedInstance()->hasRunEarlyActivities(); }));
    runUntilIdle();
    CHECK(recorder.steps == kSteps);
    CHECK(std::all_of(recorder.onMainThread.begin(), recorder.onMainThread.end(), [](bool b) { return b; }));
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "GADApplication: a step that makes the first slot does not start the steps again from inside") {
    auto record = GADApplication::sharedInstance();
    std::vector<std::string> steps;
    GADApplication::setEarlyActivitiesObserver([&](const std::string& step) {
        steps.push_back(step);
        if (step == "device") {
            // The first slot and request of the process, made while the start-up runs.
            ruzave::GADSlot::init();
            ruzave::GADRequest::request();
        }
    });
    record->runEarlyActivities();
    GADApplication::setEarlyActivitiesObserver(nullptr);
    CHECK(steps == kSteps);
    CHECK(record->hasRunEarlyActivities());
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADApplication: content hashing starts with the start-up only when the setting says so") {
    StepRecorder recorder;
    platform::UserDefaults::standard()->set("/ruzave/ads/content_url_enabled", "1");
    GADApplication::sharedInstance()->runEarlyActivities();
    CHECK(recorder.steps.back() == "content");
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "GADApplication: only the background after launching counts as inactive") {
    auto record = GADApplication::sharedInstance();
    auto app = platform::Application::sharedApplication();
    app->setApplicationState(platform::ApplicationState::Background);
    CHECK_FALSE(record->appFinishedLaunching());
    CHECK(record->isAppActive());

    app->finishLaunching();
    runUntilIdle();
    CHECK(record->appFinishedLaunching());
    app->setApplicationState(platform::ApplicationState::Background);
    CHECK_FALSE(record->isAppActive());

    app->setApplicationState(platform::ApplicationState::Inactive);
    CHECK(record->isAppActive());
    app->setApplicationState(platform::ApplicationState::Active);
    CHECK(record->isAppActive());
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADApplication: the launch flag is read and written safely from several threads") {
    auto record = GADApplication::sharedInstance();
    std::thread writer([record] {
        for (int i = 0; i < 500; ++i) record->setAppFinishedLaunching(i % 2 == 0);
        record->setAppFinishedLaunching(true);
    });
    for (int i = 0; i < 500; ++i) (void)record->isAppActive();
    writer.join();
    CHECK(record->appFinishedLaunching());
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADApplication: adapter names keep the built-in and given names whose class is an adapter") {
    auto record = GADApplication::sharedInstance();
    CHECK(record->availableAdapterNames() == std::nullopt);
    // Without "adapter_class_names" only the built-in names present count.
    record->updateAvailableAdapterNamesWithPotentialAdapterNames(std::nullopt);
    CHECK(asSet(record->availableAdapterNames()) == std::set<std::string>{"GADMAdURLAdapter", "GADMAdapterCustomEvents", "GADMAdapterHTML", "GADMAdapterRuzaveDoRurAds"});

    registerClass("ThirdPartyAdapter", {"GADMAdNetworkAdapter"});
    registerClass("NotAnAdapter", {"SomethingElse"});
    record->updateAvailableAdapterNamesWithPotentialAdapterNames(
        std::vector<std::string>{"ThirdPartyAdapter", "NotAnAdapter", "NoSuchClass", ""});
    CHECK(asSet(record->availableAdapterNames()) ==
          std::set<std::string>{"GADMAdURLAdapter", "GADMAdapterCustomEvents", "GADMAdapterHTML", "GADMAdapterRuzaveDoRurAds", "ThirdPartyAdapter"});

    // A read right after a set on the same thread sees it.
    record->setAvailableAdapterNames({"X"});
    CHECK(record->availableAdapterNames() == std::vector<std::string>{"X"});
    platform::ClassRegistry::unregisterClass("ThirdPartyAdapter");
    platform::ClassRegistry::unregisterClass("NotAnAdapter");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADApplication: each delivery of the core page's constants replaces the adapter names") {
    registerClass("ThirdPartyAdapter", {"GADMAdNetworkAdapter"});
    auto controller = ruzave::GADSDKCoreController::init();
    auto deliver = [&](platform::Value constants) {
        auto handler = controller->activeSDKCoreWebView()->SDKCoreGMSGHandler();
        controller->SDKCoreGMSGHandlerDidLoadSDKConstants(*handler, constants);
    };
    auto record = GADApplication::sharedInstance();
    deliver(platform::Value{{"adapter_class_names", "[\"ThirdPartyAdapter\",\"Missing\"]"}});
    CHECK(asSet(record->availableAdapterNames()) == std::set<std::string>{"GADMAdURLAdapter", "GADMAdapterCustomEvents", "GADMAdapterHTML", "GADMAdapterRuzaveDoRurAds", "ThirdPartyAdapter"});
    deliver(platform::Value::object());
    CHECK(asSet(record->availableAdapterNames()) == std::set<std::string>{"GADMAdURLAdapter", "GADMAdapterCustomEvents", "GADMAdapterHTML", "GADMAdapterRuzaveDoRurAds"});
    platform::ClassRegistry::unregisterClass("ThirdPartyAdapter");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADApplication: active-view identifiers from many threads are distinct and start at 1") {
    auto record = GADApplication::sharedInstance();
    std::vector<std::vector<std::uint32_t>> seen(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([record, &seen, t] {
            for (int i = 0; i < 50; ++i) seen[t].push_back(record->nextActiveViewID());
        });
    }
    for (auto& thread : threads) thread.join();
    std::set<std::uint32_t> all;
    for (const auto& list : seen) all.insert(list.begin(), list.end());
    CHECK(all.size() == 200);
    CHECK(*all.begin() == 1);
    CHECK(*all.rbegin() == 200);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADApplication: the store metadata is the dictionary beside the documents folder, read once") {
    auto record = GADApplication::sharedInstance();
    auto path = record->iTunesMetadataPath();
    REQUIRE(path);
    CHECK(*path == home() + "/iTunesMetadata.plist");
    platform::Value metadata = {{"itemId", 42}, {"bundleVersion", "1.0"}};
    REQUIRE(platform::Sandbox::writeFileAtomically(*path, *platform::PropertyList::toXML(metadata)));
    CHECK(record->iTunesMetadata() == metadata);
    // Kept for the process: a later change of the file is not read.
    REQUIRE(platform::Sandbox::writeFileAtomically(*path, *platform::PropertyList::toXML(platform::Value{{"a", 1}})));
    CHECK(record->iTunesMetadata() == metadata);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADApplication: store metadata that is an array, garbage or missing reads as an empty dictionary") {
    const std::string path = home() + "/iTunesMetadata.plist";
    REQUIRE(platform::Sandbox::writeFileAtomically(path, *platform::PropertyList::toXML(platform::Value::array({1, 2}))));
    CHECK(GADApplication::sharedInstance()->iTunesMetadata() == platform::Value::object());

    const std::string garbage = home() + "/garbage.plist";
    REQUIRE(platform::Sandbox::writeFileAtomically(garbage, std::string("<?xml \x01 not a plist")));
    platform::Error error;
    CHECK_FALSE(ruzave::GADPropertyListDictionaryFromFile(garbage, &error));
    CHECK_FALSE(ruzave::GADPropertyListDictionaryFromFile(home() + "/missing.plist", &error));
    CHECK(error.code == 1);
    CHECK(error.domain == "com.ruzave.ads.private");
    CHECK(error.description == "File could not be read.");
}
