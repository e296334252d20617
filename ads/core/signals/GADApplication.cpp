#include "ads/core/signals/GADApplication.h"

#include <algorithm>

#include "ads/core/net/GADPinger.h"
#include "ads/core/public/GADInternalErrorAdditions.h"
#include "ads/core/signals/GADDevice.h"
#include "ads/core/signals/GADSession.h"
#include "ads/core/signals/GADTokenDispenser.h"
#include "ads/core/telemetry/GADCrashReporter.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "ads/core/util/GADRunOnMainThread.h"
#include "ads/mediation/GADMAdNetworkAdapter.h"
#include "ads/native/GADInAppPurchaseTransactionReporter.h"
#include "ads/render/GADMRAIDInterceptor.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Sandbox.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/runloop/MainLoop.h"
#include "platform/ui/Application.h"

namespace ruzave {
namespace {

constexpr const char* kContentURLEnabledKey = "/ruzave/ads/content_url_enabled";

// The launch notification starts the SDK when no slot or request has done so before it. Registered
// when the library loads, so that a launch before the first use of the record is not missed; it is
// never removed.
struct LaunchObserver {
    LaunchObserver() {
        platform::NotificationCenter::defaultCenter()->addObserver(
            platform::kApplicationDidFinishLaunching, nullptr, nullptr, [](const platform::Notification&) {
                GADRunOnMainThread([] {
                    auto application = GADApplication::sharedInstance();
                    application->setAppFinishedLaunching(true);
                    application->runEarlyActivities();
                });
            });
    }
};
const LaunchObserver launchObserver;

std::function<void(const std::string&)>& earlyActivitiesObserver() {
    static std::function<void(const std::string&)> observer;
    return observer;
}

void step(const char* name) {
    if (auto& observer = earlyActivitiesObserver()) observer(name);
}

// `path` with its last component removed ("/a/b/" and "/a/b" both give "/a").
std::string parentDirectory(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

} // namespace

const std::vector<std::string>& GADApplication::builtInAdapterNames() {
    static const std::vector<std::string> names = {"GADMAdapterRuzaveDoRurAds", "GADMAdapterCustomEvents",
                                                   "GADMAdapterHTML", "GADMAdURLAdapter"};
    return names;
}

void GADApplication::setEarlyActivitiesObserver(std::function<void(const std::string& step)> observer) {
    earlyActivitiesObserver() = std::move(observer);
}

std::shared_ptr<GADApplication> GADApplication::sharedInstance() {
    // Never released: slots and ads that outlive other singletons at exit may still reach it.
    static const std::shared_ptr<GADApplication>* instance = new std::shared_ptr<GADApplication>([] {
        std::shared_ptr<GADApplication> application(new GADApplication());
        application->observeDidBecomeActive();
        return application;
    }());
    return *instance;
}

GADApplication::GADApplication()
    : version_(platform::Bundle::mainBundle()->version()),
      mainBundleIdentifier_(platform::Bundle::mainBundle()->identifier()),
      currentSession_(GADSession::init()),
      statistics_(GADStatisticDictionary::init()),
      lockQueue_(platform::DispatchQueue::createSerial("com.ruzave.ads.application-ivar-lock")),
      statisticsSerialQueue_(platform::DispatchQueue::createSerial("com.ruzave.ads.application-statistics")),
      notificationSerialQueue_(platform::DispatchQueue::createSerial("com.ruzave.ads.application-notification")) {
    statistics_->setObject(platform::Value(currentSession_->uniqueID()), "session_id", false);
    // The first request raises it to 0.
    statistics_->decrementNumberForKey("preqs", false);
}

GADApplication::~GADApplication() {
    if (appBecameActiveObserver_) platform::NotificationCenter::defaultCenter()->removeObserver(*appBecameActiveObserver_);
    statistics_->didFinishModifying();
}

void GADApplication::observeDidBecomeActive() {
    std::weak_ptr<GADApplication> weak = weak_from_this();
    appBecameActiveObserver_ = platform::NotificationCenter::defaultCenter()->addObserver(
        platform::kApplicationDidBecomeActive, platform::Application::sharedApplication().get(), platform::mainQueue(),
        [weak](const platform::Notification&) {
            if (auto self = weak.lock()) self->didBecomeActive();
        });
}

void GADApplication::runEarlyActivities() {
    if (!platform::MainLoop::isMainThread()) return;
    // A step that makes the first slot or request asks again from inside the steps: that call finds
    // the steps running and leaves them to finish.
    if (ranEarlyActivities_.load() || runningEarlyActivities_) return;
    runningEarlyActivities_ = true;
    GADDevice::sharedInstance()->cacheStaticParameters();
    step("device");
    GADMRAIDInterceptor::allow();
    step("mraid");
    GADTokenDispenser::sharedInstance();
    step("tokens");
    GADPinger::sharedInstance()->start();
    step("pinger");
    auto purchases = GADInAppPurchaseTransactionReporter::sharedInstance();
    if (purchases->shouldBeEnabled()) {
        purchases->enableReporting();
        step("purchases");
    }
    GADCrashReporter::sharedInstance()->enableReporting();
    step("crash");
    if (platform::UserDefaults::standard()->boolean(kContentURLEnabledKey)) {
        startContentHashing();
        step("content");
    }
    // Set after the last step, not before the first.
    ranEarlyActivities_.store(true);
    runningEarlyActivities_ = false;
}

bool GADApplication::appFinishedLaunching() const {
    std::lock_guard lock(launchLock_);
    return appFinishedLaunching_;
}

void GADApplication::setAppFinishedLaunching(bool finished) {
    std::lock_guard lock(launchLock_);
    appFinishedLaunching_ = finished;
}

bool GADApplication::isAppActive() const {
    // A background state before launching has finished still counts as active.
    bool background = platform::Application::sharedApplication()->applicationState() ==
                      platform::ApplicationState::Background;
    return !(background && appFinishedLaunching());
}

std::optional<std::vector<std::string>> GADApplication::availableAdapterNames() const {
    std::optional<std::vector<std::string>> names;
    lockQueue_->sync([&] { names = availableAdapterNames_; });
    return names;
}

void GADApplication::setAvailableAdapterNames(const std::vector<std::string>& names) {
    auto self = shared_from_this();
    lockQueue_->async([self, names] {
        if (self->availableAdapterNames_ == names) return;
        self->availableAdapterNames_ = names;
    });
}

void GADApplication::updateAvailableAdapterNamesWithPotentialAdapterNames(
    const std::optional<std::vector<std::string>>& names) {
    std::set<std::string> candidates(builtInAdapterNames().begin(), builtInAdapterNames().end());
    if (names) candidates.insert(names->begin(), names->end());
    std::set<std::string> present = GADMAdNetworkAdapter::availableAdapterNamesInSet(candidates);
    setAvailableAdapterNames(std::vector<std::string>(present.begin(), present.end()));
}

std::uint32_t GADApplication::nextActiveViewID() {
    std::uint32_t identifier = 0;
    lockQueue_->sync([&] { identifier = ++activeViewID_; });
    return identifier;
}

std::optional<std::string> GADApplication::iTunesMetadataPath() const {
    std::string documents = platform::Sandbox::documentsDirectory();
    if (documents.empty()) return std::nullopt;
    std::string home = parentDirectory(documents);
    return (home == "/" ? std::string() : home) + "/iTunesMetadata.plist";
}

platform::Value GADApplication::iTunesMetadata() {
    std::call_once(metadataOnce_, [this] {
        auto path = iTunesMetadataPath();
        if (!path) return;
        if (auto dictionary = GADPropertyListDictionaryFromFile(*path, nullptr)) iTunesMetadata_ = std::move(*dictionary);
    });
    return iTunesMetadata_;
}

std::optional<platform::Value> GADPropertyListDictionaryFromFile(const std::string& path, platform::Error* error) {
    auto bytes = platform::Sandbox::readFile(path);
    if (!bytes) {
        platform::setError(error, gad_errorWithCode(GADInternalErrorFileUnreadable,
                                                    gad_localizedDescriptionForErrorCode(GADInternalErrorFileUnreadable)));
        return std::nullopt;
    }
    auto list = platform::PropertyList::parse(*bytes);
    if (!list || !list->is_object()) return std::nullopt;
    return list;
}

} // namespace ruzave
