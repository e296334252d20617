#include "ads/core/signals/GADDevice.h"

#include <tuple>

#include "ads/core/signals/GADApplication.h"
#include "ads/core/util/GADRectConversions.h"
#include "ads/core/util/GADRunOnMainThread.h"
#include "ads/core/util/GADStringNumberAdditions.h"
#include "platform/base/Strings.h"
#include "platform/base/URL.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Sandbox.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/runloop/MainLoop.h"
#include "platform/runloop/OperationQueue.h"
#include "platform/services/AdvertisingIdentifierManager.h"
#include "platform/services/AudioSession.h"
#include "platform/services/MessageComposer.h"
#include "platform/services/NetworkInfo.h"
#include "platform/services/PaymentQueue.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"

namespace ruzave {

namespace {

// The one path whose presence says the device was opened up.
constexpr const char* kJailbreakProbePath = "/private/var/lib/apt/";

std::string padVersion(const std::string& text, std::array<int, 3>& numbers) {
    auto pieces = platform::split(text, ".");
    if (pieces.size() > 3) pieces.resize(3);
    while (pieces.size() < 3) pieces.push_back("0");
    for (int i = 0; i < 3; ++i) numbers[static_cast<std::size_t>(i)] = static_cast<int>(platform::integerValue(pieces[static_cast<std::size_t>(i)]));
    return text;
}

bool canOpen(const std::string& url) {
    auto parsed = platform::URL::parse(url);
    return parsed && platform::Application::sharedApplication()->canOpenURL(*parsed);
}

} // namespace

std::shared_ptr<GADDevice> GADDevice::sharedInstance() {
    // Lives for the whole process and is never destroyed, so exit-time teardown of other singletons
    // cannot run under it.
    static const std::shared_ptr<GADDevice>* instance = new std::shared_ptr<GADDevice>([] {
        std::shared_ptr<GADDevice> d(new GADDevice());
        d->lockQueue_ = platform::DispatchQueue::createSerial("com.ruzave.ads.device");
        d->network_ = GADNetwork::init();
        d->network_->enableNetworkChecking();
        // Emptied now, before anyone is handed the path, so nothing written there later is lost.
        const std::string temp = d->temporaryPathWithCreation(false);
        if (platform::Sandbox::fileExists(temp)) platform::Sandbox::removeItem(temp);
        return d;
    }());
    return *instance;
}

GADDevice::~GADDevice() {
    if (network_) network_->disableNetworkChecking();
    disableRadioAccessTechnologyChecking();
}

bool GADDevice::published() const {
    return platform::MainLoop::isMainThread() || hasCachedStaticParameters_.load(std::memory_order_acquire);
}

void GADDevice::cacheStaticParameters() {
    if (!platform::MainLoop::isMainThread() || hasCachedStaticParameters_.load()) return;
    updateOperatingSystemVersionProperties();
    enableRadioAccessTechnologyChecking();
    auto device = platform::Device::currentDevice();
    deviceModel_ = device->model();
    userInterfaceIdiomIsPhone_ = device->userInterfaceIdiom() == platform::UserInterfaceIdiom::Phone;
    auto screen = platform::Screen::mainScreen();
    mainScreenDensity_ = screen->scale();
    const int orientation = applicationStatusBarOrientation();
    lockQueue_->sync([&] { statusBarOrientation_ = orientation; });
    standardizedMainScreenPortraitBounds_ = portraitBoundsOfMainScreen();
    updateDynamicParameters();
    if (isOSAtLeastMajor(9, 0, 0)) {
        canMakePhoneCalls_ = true;
        canText_ = platform::MessageComposer::canSendText();
    } else {
        canMakePhoneCalls_ = canOpen("tel://");
        canText_ = canOpen("sms://");
    }
    infoPlist_ = platform::Bundle::mainBundle()->infoDictionary();
    hasCachedStaticParameters_.store(true, std::memory_order_release);
}

platform::Rect GADDevice::portraitBoundsOfMainScreen() const {
    platform::Rect bounds = platform::Screen::mainScreen()->bounds().standardized();
    // From OS 8 on the screen's bounds follow the interface orientation.
    const int orientation = applicationStatusBarOrientation();
    if ((orientation == 3 || orientation == 4) && isOSAtLeastMajor(8, 0, 0))
        bounds = platform::Rect(0, 0, bounds.size.height, bounds.size.width);
    return bounds;
}

platform::Rect GADDevice::standardizedPortraitScreenBounds() const {
    if (hasCachedStaticParameters_.load(std::memory_order_acquire)) return standardizedMainScreenPortraitBounds_;
    return platform::MainLoop::isMainThread() ? portraitBoundsOfMainScreen() : platform::Rect::zero();
}

void GADDevice::updateDynamicParameters() {
    updateOrientation();
    updateBookstores();
}

void GADDevice::setStatusBarOrientation(int orientation) {
    auto self = shared_from_this();
    lockQueue_->async([self, orientation] { self->statusBarOrientation_ = orientation; });
}

void GADDevice::updateOrientation() { setStatusBarOrientation(applicationStatusBarOrientation()); }

void GADDevice::updateBookstores() {
    const auto answers = canOpenURLs({"itms-books://", "kindle://home"});
    std::uint32_t stores = 0;
    if (isOSAtLeastMajor(8, 0, 0)) {
        stores |= kBookstoreBooks;
    } else if (answers && platform::boolValue(answers->value("itms-books://", false))) {
        stores |= kBookstoreBooks;
    }
    if (answers && platform::boolValue(answers->value("kindle://home", false))) stores |= kBookstoreKindle;
    auto self = shared_from_this();
    lockQueue_->async([self, stores] { self->bookstores_ = stores; });
}

void GADDevice::updateOperatingSystemVersionProperties() {
    const std::string text = platform::Device::currentDevice()->systemVersion();
    systemVersion_ = padVersion(text, operatingSystemVersion_);
}

void GADDevice::enableRadioAccessTechnologyChecking() {
    if (!isOSAtLeastMajor(7, 0, 0)) return;
    auto info = platform::NetworkInfo::create();
    std::weak_ptr<GADDevice> weak = weak_from_this();
    auto self = shared_from_this();
    lockQueue_->sync([&] {
        telephonyNetworkInfo_ = info;
        if (radioAccessTechnologyChangeObserver_) return;
        radioAccessTechnologyChangeObserver_ = platform::NotificationCenter::defaultCenter()->addObserver(
            platform::NetworkInfo::radioAccessTechnologyDidChangeNotification, nullptr, platform::mainQueue(),
            [weak, info](const platform::Notification&) {
                if (auto device = weak.lock()) device->setRadioAccessTechnology(info->currentRadioAccessTechnology());
            });
    });
    setRadioAccessTechnology(info->currentRadioAccessTechnology());
}

void GADDevice::disableRadioAccessTechnologyChecking() {
    if (!lockQueue_) return;
    std::optional<platform::NotificationCenter::Token> token;
    lockQueue_->sync([&] { token = std::exchange(radioAccessTechnologyChangeObserver_, std::nullopt); });
    if (token) platform::NotificationCenter::defaultCenter()->removeObserver(*token);
}

void GADDevice::setRadioAccessTechnology(const std::optional<std::string>& technology) {
    auto self = shared_from_this();
    lockQueue_->async([self, technology] {
        self->radioAccessTechnology_ = technology;
        if (technology) self->lastKnownRadioAccessTechnology_ = technology;
    });
}

void GADDevice::setUserAgentString(const std::string& userAgent) {
    if (userAgent.empty()) return;
    auto self = shared_from_this();
    lockQueue_->async([self, userAgent] { self->userAgentString_ = userAgent; });
}

std::array<int, 3> GADDevice::operatingSystemVersion() const {
    if (hasCachedStaticParameters_.load(std::memory_order_acquire)) return operatingSystemVersion_;
    std::array<int, 3> live{0, 0, 0};
    if (platform::MainLoop::isMainThread())
        padVersion(platform::Device::currentDevice()->systemVersion(), live);
    return live;
}

bool GADDevice::isOSAtLeastMajor(int major, int minor, int patch) const {
    const auto v = operatingSystemVersion();
    return std::tie(v[0], v[1], v[2]) >= std::tie(major, minor, patch);
}

std::optional<platform::Value> GADDevice::canOpenURLs(const std::vector<std::string>& urls) const {
    if (isOSAtLeastMajor(9, 0, 0)) return std::nullopt;
    platform::Value answers = platform::Value::object();
    for (const auto& url : urls) answers[url] = canOpen(url);
    return answers;
}

bool GADDevice::limitAdTracking() const {
    auto manager = platform::AdvertisingIdentifierManager::sharedManager();
    return manager && !manager->isAdvertisingTrackingEnabled();
}

bool GADDevice::jailbroken() const {
    static const bool answer = [this] {
        if (isSimulator()) return false;
        return platform::Sandbox::fileExists(kJailbreakProbePath);
    }();
    return answer;
}

std::string GADDevice::deviceIdentifier() const {
    if (limitAdTracking()) return {};
    auto manager = platform::AdvertisingIdentifierManager::sharedManager();
    if (!manager) return {};
    return gad_MD5String(manager->advertisingIdentifier());
}

std::string GADDevice::deviceSubmodel() const {
    static const std::string submodel = [] {
        return platform::Device::currentDevice()->machine();
    }();
    return submodel;
}

std::optional<std::string> GADDevice::locale() const {
    static const std::optional<std::string> value = []() -> std::optional<std::string> {
        auto languages = platform::UserDefaults::standard()->array("AppleLanguages");
        if (!languages || languages->empty() || !(*languages)[0].is_string()) return std::nullopt;
        return platform::toLowerASCII((*languages)[0].get<std::string>());
    }();
    return value;
}

long GADDevice::audioRoute() const {
    if (isSimulator()) return 4;
    auto session = platform::AudioSession::sharedInstance();
    const auto outputs = session->currentRouteOutputs();
    if (outputs.empty() || session->outputVolume() == 0.0f) return 3;
    if (outputs.size() >= 2) return 5;
    if (outputs[0].portType == platform::AudioSession::portHeadphones) return 2;
    if (outputs[0].portType == platform::AudioSession::portBuiltInSpeaker) return 1;
    return 5;
}

bool GADDevice::orientationLandscape() {
    auto self = shared_from_this();
    GADRunOnMainThread([self] { self->updateOrientation(); });
    int orientation = 0;
    lockQueue_->sync([&] { orientation = statusBarOrientation_; });
    return orientation == 3 || orientation == 4;
}

platform::Rect GADDevice::standardizedOrientedScreenBounds() {
    platform::Rect r = standardizedPortraitScreenBounds();
    if (orientationLandscape()) std::swap(r.size.width, r.size.height);
    return r;
}

platform::Rect GADDevice::standardizedOrientedApplicationFrame() {
    updateOrientation();
    const platform::Rect frame = platform::Screen::mainScreen()->applicationFrame();
    int orientation = 0;
    lockQueue_->sync([&] { orientation = statusBarOrientation_; });
    return GADRectForInterfaceOrientation(frame, orientation, standardizedPortraitScreenBounds()).standardized();
}

std::optional<std::string> GADDevice::radioAccessTechnology() const {
    std::optional<std::string> v;
    lockQueue_->sync([&] { v = radioAccessTechnology_; });
    return v;
}

std::optional<std::string> GADDevice::lastKnownRadioAccessTechnology() const {
    std::optional<std::string> v;
    lockQueue_->sync([&] { v = lastKnownRadioAccessTechnology_; });
    return v;
}

std::optional<std::string> GADDevice::userAgentString() const {
    std::optional<std::string> v;
    lockQueue_->sync([&] { v = userAgentString_; });
    return v;
}

bool GADDevice::isSimulator() const {
    return platform::Device::currentDevice()->isSimulator();
}

std::string GADDevice::temporaryPathWithCreation(bool create) const {
    const std::string path = platform::Sandbox::temporaryDirectory() + "/" + kTemporaryFolderName;
    if (create) platform::Sandbox::createDirectory(path, true);
    return path;
}

std::optional<std::string> GADDevice::baseSDKVersion() const {
    static const std::optional<std::string> value = [this]() -> std::optional<std::string> {
        const platform::Value info = published() ? infoPlist_ : platform::Value::object();
        const std::string* sdk = platform::findString(info, "DTSDKName");
        if (sdk == nullptr) return std::nullopt;
        std::string out = *sdk;
        if (const std::string* platformName = platform::findString(info, "DTPlatformName")) {
            out = platform::replaceAll(out, *platformName, "");
        }
        return out;
    }();
    return value;
}

int GADDevice::userInterfaceIdiom() const {
    return static_cast<int>(platform::Device::currentDevice()->userInterfaceIdiom());
}

platform::Rect GADDevice::keyWindowBounds() const {
    if (auto window = platform::Application::sharedApplication()->keyWindow()) return window->bounds();
    return platform::Rect::zero();
}

int GADDevice::applicationStatusBarOrientation() const {
    return static_cast<int>(platform::Application::sharedApplication()->statusBarOrientation());
}

platform::Rect GADDevice::mainScreenBounds() const { return platform::Screen::mainScreen()->bounds(); }

platform::Value GADDevice::parameters() {
    platform::Value p = platform::Value::object();
    const bool ready = published();
    if (ready && deviceModel_ == "iPad" && userInterfaceIdiomIsPhone_) p["ios_ipadc"] = "1";
    p["ios_metadata"] = GADApplication::sharedInstance()->iTunesMetadata();
    if (ready && infoPlist_.is_object()) p["ios_info_plist"] = infoPlist_;
    if (auto base = baseSDKVersion()) p["ios_base_sdk"] = *base;
    auto app = GADApplication::sharedInstance();
    const std::string version = app->version();
    p["app_name"] = (version.empty() ? std::string() : version + ".") + "iphone." + app->mainBundleIdentifier();
    if (jailbroken()) p["ios_jb"] = "1";
    // Empty until the static parameters are cached: left out rather than sent empty.
    if (std::string model = deviceModel(); !model.empty()) p["platform"] = model;
    p["submodel"] = deviceSubmodel();
    if (auto l = locale()) p["hl"] = *l;
    p["u_audio"] = std::to_string(audioRoute());
    p["u_so"] = orientationLandscape() ? "l" : "p";
    if (auto radio = radioAccessTechnology()) p["ios_radio"] = *radio;
    if (auto last = lastKnownRadioAccessTechnology()) p["ios_radio_last"] = *last;
    p["u_sd"] = GADStringFromFloat(mainScreenDensity());
    const platform::Rect portrait = standardizedPortraitScreenBounds();
    p["u_w"] = GADStringFromFloat(portrait.size.width);
    p["u_h"] = GADStringFromFloat(portrait.size.height);
    std::uint32_t stores = 0;
    lockQueue_->sync([&] { stores = bookstores_; });
    if (stores != 0) p["cap_bs"] = stores;
    p["cap_noiap"] = platform::PaymentQueue::canMakePayments() ? "0" : "1";
    return p;
}

} // namespace ruzave
