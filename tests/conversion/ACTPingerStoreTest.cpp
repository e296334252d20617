#include <doctest/doctest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "conversion/ACTPinger.h"
#include "conversion/ACTPingRetryQueue.h"
#include "conversion/ACTPingRetryScheduler.h"
#include "conversion/ACTPingerStore.h"
#include "platform/foundation/Sandbox.h"
#include "tests/conversion/ChildProcessSupport.h"
#include "tests/conversion/ConversionTestSupport.h"

using namespace conversiontest;
using ruzave::ACTPinger;
using ruzave::ACTPingerStore;

namespace {

std::string pingURL(long id) {
    return "https://www.ruzaveadservices.example/pagead/conversion/" + std::to_string(id) + "/?v=1&retry=1";
}

std::shared_ptr<ACTPinger> storedPinger(long id, int count = 200) {
    return ACTPinger::pingerWithRequestString(pingURL(id), platform::Value{{"ruzave_ping_rc", count}, {"ruzave_ping_stalets", 4e9}});
}

// A full store's dictionary: pings 0 to 499 (stored one by one, each would be written on its own).
platform::Value fullStore() {
    platform::Value pingers = platform::Value::object();
    for (long id = 0; id < 500; ++id) pingers[pingURL(id)] = *storedPinger(id)->parameters();
    return pingers;
}

// The child of the kill test: on every start (a relaunch) it clears what the last run stored, then
// stores pings one after another, telling the parent "<id>" once each is on disk. It never returns.
[[noreturn]] void runStoreChild(long firstID) {
    // The parent's defaults file is named after this bundle identifier.
    platform::Bundle::mainBundle()->setValue("CFBundleIdentifier", "com.example.app");
    auto store = ACTPingerStore::initFromStorage();
    for (const auto& pinger : store->allPingers()) store->removePinger(pinger);
    (void)!::write(1, "ready\n", 6);
    for (long id = firstID;; ++id) {
        store->addPinger(storedPinger(id));
        const std::string line = std::to_string(id) + "\n";
        (void)!::write(1, line.data(), line.size());
    }
}

// The test binary is the child when started with this variable set.
const bool isStoreChild = [] {
    if (const char* first = std::getenv("RUZAVE_TEST_STORE_CHILD")) runStoreChild(std::atol(first));
    return false;
}();

std::size_t occurrences(const std::string& text, const std::string& needle) {
    std::size_t count = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++count;
    return count;
}

// One home killed `rounds` times in a row; what went wrong, and how many pings were confirmed stored.
struct KillLane {
    std::string home;
    std::string file;
    unsigned seed = 0;
    std::vector<std::string> faults;
    std::size_t acknowledged = 0;

    void run(int rounds) {
        std::mt19937 random(seed);
        std::uniform_int_distribution<int> delayMs(0, 12);
        long nextID = 1;
        for (int round = 0; round < rounds; ++round) {
            const std::string where = home + " round " + std::to_string(round) + ": ";
            Child child = spawnChild(home, {"RUZAVE_TEST_STORE_CHILD=" + std::to_string(nextID)});
            if (child.pid < 0) return faults.push_back(where + "no child");
            std::string pending;
            std::vector<std::string> lines;
            // The child is up once it has cleared the last run's pings.
            for (int tries = 0; lines.empty() && tries < 100; ++tries) readLines(child.out, pending, lines, 100);
            if (lines.empty() || lines.front() != "ready") faults.push_back(where + "child not ready");
            readLines(child.out, pending, lines, delayMs(random));
            ::kill(child.pid, SIGKILL);
            readLines(child.out, pending, lines, -1);
            ::close(child.out);
            int status = 0;
            ::waitpid(child.pid, &status, 0);

            std::ifstream in(file);
            std::stringstream whole;
            whole << in.rdbuf();
            const std::string text = whole.str();
            // No file yet is an empty store (a kill before the first write); a torn one is a fault.
            auto parsed = text.empty() ? std::optional<platform::Value>(platform::Value::object()) : platform::parseJSON(text);
            if (!parsed || !parsed->is_object()) {
                faults.push_back(where + "store file unreadable");
                continue;
            }
            const platform::Value stored = parsed->value(ruzave::kACTPingDescriptorStoreKey, platform::Value::object());
            for (std::size_t i = 1; i < lines.size(); ++i) {
                const long id = std::atol(lines[i].c_str());
                if (!stored.contains(pingURL(id))) faults.push_back(where + "lost " + std::to_string(id));
                if (occurrences(text, "/pagead/conversion/" + std::to_string(id) + "/?") != 1) {
                    faults.push_back(where + "not once " + std::to_string(id));
                }
                nextID = std::max(nextID, id + 1);
                ++acknowledged;
            }
            // The ping being written when the kill came may or may not be there; its id is not reused.
            nextID += 1;
        }
    }
};

} // namespace

TEST_CASE_FIXTURE(Launch, "ACTPingerStore: holds at most 500 pings and updates none at the limit") {
    auto store = ACTPingerStore::initWithPingers(fullStore());
    CHECK(store->count() == 500);
    store->addPinger(storedPinger(999));
    CHECK(store->count() == 500);
    CHECK_FALSE(store->transientStore().contains(pingURL(999)));
    store->addPinger(storedPinger(3, 7));
    CHECK(store->transientStore()[pingURL(3)]["ruzave_ping_rc"] == 200);

    store->removePinger(storedPinger(3));
    store->addPinger(storedPinger(3, 7));
    CHECK(store->transientStore()[pingURL(3)]["ruzave_ping_rc"] == 7);
    // What was added is on disk, and reloads.
    relaunch();
    auto reloaded = ACTPingerStore::initFromStorage();
    CHECK(reloaded->count() == 500);
    CHECK(reloaded->allPingers().size() == 500);
}

TEST_CASE_FIXTURE(Launch, "ACTPingerStore: a new ping is on disk at once during a retry batch, whose count updates wait for its end") {
    auto store = ACTPingerStore::init();
    const std::string file = platform::UserDefaults::standard()->filePath();
    auto onDisk = [&] {
        std::ifstream in(file);
        std::stringstream whole;
        whole << in.rdbuf();
        auto parsed = platform::parseJSON(whole.str());
        return parsed && parsed->is_object() ? parsed->value(ruzave::kACTPingDescriptorStoreKey, platform::Value::object())
                                             : platform::Value::object();
    };
    store->addPinger(storedPinger(1, 200));
    REQUIRE(onDisk().contains(pingURL(1)));
    {
        ACTPingerStore::Batch retryPass(store);
        store->addPinger(storedPinger(1, 199));
        CHECK(storedPings()[pingURL(1)]["ruzave_ping_rc"] == 200);
        // A conversion reported on another thread meanwhile.
        std::thread([&] { store->addPinger(storedPinger(2)); }).join();
        CHECK(onDisk().contains(pingURL(2)));
        CHECK(onDisk()[pingURL(1)]["ruzave_ping_rc"] == 199);
        store->addPinger(storedPinger(1, 198));
        CHECK(storedPings()[pingURL(1)]["ruzave_ping_rc"] == 199);
    }
    CHECK(storedPings()[pingURL(1)]["ruzave_ping_rc"] == 198);
    CHECK(storedPings().contains(pingURL(2)));
}

TEST_CASE_FIXTURE(Launch, "ACTPingerStore: pings stored and removed from several threads at once are all accounted for") {
    auto store = ACTPingerStore::init();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([store, t] {
            ACTPingerStore::Batch writes(store);
            for (long i = 0; i < 60; ++i) {
                store->addPinger(storedPinger(t * 1000 + i));
                if (i % 3 == 0) store->removePinger(storedPinger(t * 1000 + i));
            }
        });
    }
    for (auto& t : threads) t.join();
    CHECK(store->count() == 4 * 40);
    relaunch();
    CHECK(storedPings().size() == 4 * 40);
    CHECK(storedPings().contains(pingURL(3001)));
    CHECK_FALSE(storedPings().contains(pingURL(3003)));
}

TEST_CASE_FIXTURE(ServerLaunch, "ACTPingerStore: with 500 stored a new ping is still sent but not kept") {
    platform::UserDefaults::standard()->set(ruzave::kACTPingDescriptorStoreKey, fullStore());
    relaunch();
    REQUIRE(ruzave::ACTApplication::sharedApplication()->pingerStore()->count() == 500);
    runUntilIdle();  // the first batch resends 50 of them
    server->clearLog();
    auto fresh = ACTPinger::initWithRequest(*platform::URLRequest::withURLString("https://www.ruzaveadservices.example/pagead/conversion/fresh/"));
    fresh->ping();
    REQUIRE(runUntil([&] {
        for (const auto& p : pings()) if (p.path == "/pagead/conversion/fresh/") return true;
        return false;
    }));
    CHECK_FALSE(storedPings().contains(fresh->requestString()));
}

TEST_CASE_FIXTURE(Launch, "ACTPingerStore: a damaged store reads as what can be saved of it") {
    auto defaults = platform::UserDefaults::standard();
    SUBCASE("of the wrong type") {
        defaults->set(ruzave::kACTPingDescriptorStoreKey, platform::Value::array({1, 2}));
        CHECK(ACTPingerStore::initFromStorage()->count() == 0);
        defaults->set(ruzave::kACTPingDescriptorStoreKey, "text");
        CHECK(ACTPingerStore::initFromStorage()->allPingers().empty());
    }
    SUBCASE("with entries that rebuild no ping") {
        defaults->set(ruzave::kACTPingDescriptorStoreKey,
                      platform::Value{{"not a url", {{"ruzave_ping_rc", 1}}},
                                      {"mailto:x@y.example", platform::Value::object()},
                                      {"https://h.example/" + std::string(20000, 'a'), platform::Value::object()},
                                      {pingURL(1), "garbage"},
                                      {pingURL(2), {{"ruzave_ping_rc", 1e12}, {"ruzave_ping_stalets", "soon"}}}});
        auto pingers = ACTPingerStore::initFromStorage()->allPingers();
        REQUIRE(pingers.size() == 2);
        for (const auto& p : pingers) {
            CHECK(p->remainingRetryCount() <= 200);
            CHECK(p->staleDate().has_value());
        }
    }
    SUBCASE("a truncated file") {
        defaults->set(ruzave::kACTPingDescriptorStoreKey, platform::Value{{pingURL(1), {{"ruzave_ping_rc", 1}}}});
        REQUIRE(defaults->synchronize());
        const std::string path = defaults->filePath();
        std::ifstream in(path);
        std::stringstream whole;
        whole << in.rdbuf();
        const std::string text = whole.str();
        std::ofstream(path, std::ios::trunc) << text.substr(0, text.size() / 2);
        relaunch();
        CHECK(ACTPingerStore::initFromStorage()->count() == 0);
        // The library still starts and stores anew.
        auto store = ruzave::ACTApplication::sharedApplication()->pingerStore();
        store->addPinger(storedPinger(5));
        relaunch();
        CHECK(storedPings().contains(pingURL(5)));
    }
    SUBCASE("a 10 MB store") {
        platform::Value big = platform::Value::object();
        for (long id = 0; id < 1000; ++id) big[pingURL(id) + "&pad=" + std::string(10000, 'p')] = {{"ruzave_ping_rc", 5}};
        defaults->set(ruzave::kACTPingDescriptorStoreKey, big);
        REQUIRE(defaults->synchronize());
        relaunch();
        auto application = ruzave::ACTApplication::sharedApplication();
        CHECK(application->pingerStore()->allPingers().size() == 500);
        CHECK(application->retryScheduler()->retryQueue()->count() == 500);
    }
}

TEST_CASE_FIXTURE(Launch, "ACTPingerStore: a kill at any moment loses or doubles no stored ping") {
    // 200 kills, on four homes at once to keep it quick.
    std::vector<KillLane> lanes(4);
    for (std::size_t i = 0; i < lanes.size(); ++i) {
        lanes[i].home = home() + "/lane" + std::to_string(i);
        lanes[i].file = lanes[i].home + "/Library/Preferences/com.example.app.json";
        lanes[i].seed = 20261207u + static_cast<unsigned>(i);
        REQUIRE(platform::Sandbox::createDirectory(lanes[i].home, true));
    }
    std::vector<std::thread> threads;
    for (auto& lane : lanes) threads.emplace_back([&lane] { lane.run(50); });
    for (auto& t : threads) t.join();
    std::size_t acknowledged = 0;
    for (const auto& lane : lanes) {
        for (const auto& fault : lane.faults) FAIL_CHECK(fault);
        acknowledged += lane.acknowledged;
    }
    // The kills came while pings were being stored, not only before the first.
    CHECK(acknowledged > 200);
}
