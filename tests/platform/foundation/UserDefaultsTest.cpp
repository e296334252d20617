#include <doctest/doctest.h>

#include <sys/stat.h>
#include <thread>
#include <vector>

#include "platform/base/Log.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Sandbox.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/testing/Harness.h"

using platform::Bytes;
using platform::Sandbox;
using platform::UserDefaults;
using platform::Value;

namespace {

std::shared_ptr<UserDefaults> reopen() {
    UserDefaults::resetStandardForTesting();
    return UserDefaults::standard();
}

} // namespace

TEST_CASE_FIXTURE(platform::testing::Harness, "UserDefaults: every kind of value survives a reopen") {
    auto defaults = UserDefaults::standard();
    CHECK(defaults->filePath() == Sandbox::preferencesDirectory() + "/com.ruzave.demo.json");
    Value nested = {{"level1", {{"level2", {1, "two", 3.5, true, nullptr}}}}, {"empty", Value::object()}};
    Bytes bytes = {0, 1, 2, 0xfe, 0xff};
    defaults->set("string", "héllo \"quoted\"\n");
    defaults->set("integer", -9007199254740993LL);
    defaults->set("double", 0.1);
    defaults->set("bool", true);
    defaults->set("array", Value{1, "a", Value::binary({9})});
    defaults->set("dict", nested);
    defaults->set("date", 1356998400.5);
    defaults->set("data", Value::binary(bytes));
    defaults->set("emptyData", Value::binary({}));
    // Dictionaries that look like the file's own tags stay dictionaries.
    defaults->set("lookalike", Value{{"$data", "AAAA"}});
    defaults->set("lookalike2", Value{{"$dict", {{"a", 1}}}});
    REQUIRE(defaults->synchronize());

    defaults = reopen();
    CHECK(defaults->string("string") == "héllo \"quoted\"\n");
    CHECK(defaults->integer("integer") == -9007199254740993LL);
    CHECK(defaults->doubleValue("double") == 0.1);
    CHECK(defaults->boolean("bool"));
    CHECK(defaults->object("bool") == Value(true));
    REQUIRE(defaults->array("array").has_value());
    CHECK(*defaults->array("array") == Value{1, "a", Value::binary({9})});
    CHECK(defaults->dictionary("dict") == nested);
    CHECK(defaults->date("date") == 1356998400.5);
    CHECK(defaults->data("data") == bytes);
    CHECK(defaults->data("emptyData") == Bytes{});
    CHECK(defaults->dictionary("lookalike") == Value{{"$data", "AAAA"}});
    CHECK(defaults->dictionary("lookalike2") == Value{{"$dict", {{"a", 1}}}});
    CHECK(defaults->dictionaryRepresentation().size() == 11);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "UserDefaults: the file is owner-only JSON with bytes tagged") {
    auto defaults = UserDefaults::standard();
    defaults->set("data", Value::binary({0xff, 0x00, 0x10}));
    defaults->set("n", 3);
    REQUIRE(defaults->synchronize());
    struct stat st {};
    REQUIRE(::stat(defaults->filePath().c_str(), &st) == 0);
    CHECK((st.st_mode & 0777) == 0600);
    auto text = Sandbox::readFile(defaults->filePath());
    REQUIRE(text.has_value());
    auto parsed = platform::parseJSON(*text);
    REQUIRE(parsed.has_value());
    CHECK(*parsed == Value{{"data", {{"$data", "/wAQ"}}}, {"n", 3}});
    // Nothing but the file itself is left in the folder.
    CHECK(Sandbox::contentsOfDirectory(Sandbox::preferencesDirectory()) ==
          std::vector<std::string>{"com.ruzave.demo.json"});
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "UserDefaults: a corrupt or truncated file reads as empty and is logged") {
    std::string path = UserDefaults::standard()->filePath();
    UserDefaults::resetStandardForTesting();
    const std::string whole = R"({"kept":"no","list":[1,2,3],"data":{"$data":"AAEC"}})";
    for (const std::string& broken :
         {std::string("\x00\x01garbage\xff", 11), whole.substr(0, whole.size() / 2), std::string("[1,2,3]"),
          std::string(""), std::string(R"({"a":1}{"b":2})")}) {
        CAPTURE(broken);
        REQUIRE(Sandbox::writeFileAtomically(path, broken));
        platform::LogCapture log;
        auto defaults = UserDefaults::standard();
        CHECK(defaults->dictionaryRepresentation().empty());
        CHECK(log.contains("unreadable"));
        // The store stays usable and replaces the broken file on the next write.
        defaults->set("fresh", 1);
        REQUIRE(defaults->synchronize());
        CHECK(reopen()->integer("fresh") == 1);
        UserDefaults::resetStandardForTesting();
    }
    // A bad tag inside an otherwise good file spoils only that value.
    REQUIRE(Sandbox::writeFileAtomically(path, std::string_view(R"({"d":{"$data":"!!"},"s":"ok"})")));
    auto defaults = UserDefaults::standard();
    CHECK(defaults->string("s") == "ok");
    CHECK_FALSE(defaults->data("d").has_value());
}

TEST_CASE_FIXTURE(platform::testing::Harness, "UserDefaults: a missing file reads as empty") {
    auto defaults = UserDefaults::standard();
    CHECK_FALSE(Sandbox::fileExists(defaults->filePath()));
    CHECK(defaults->dictionaryRepresentation().empty());
    CHECK_FALSE(defaults->object("anything").has_value());
    // Nothing to write is a success and creates no file.
    CHECK(defaults->synchronize());
    CHECK_FALSE(Sandbox::fileExists(defaults->filePath()));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "UserDefaults: readings coerce strings, numbers and booleans") {
    auto defaults = UserDefaults::standard();
    defaults->set("yes", "YES");
    defaults->set("twelve", "12");
    defaults->set("number", 12);
    defaults->set("real", 2.5);
    defaults->set("garbage", "abc");
    defaults->set("flag", true);
    defaults->set("list", Value{1, 2});

    CHECK(defaults->boolean("yes"));
    CHECK(defaults->integer("yes") == 0);
    CHECK(defaults->integer("twelve") == 12);
    CHECK(defaults->doubleValue("twelve") == 12.0);
    CHECK(defaults->boolean("twelve"));
    CHECK(defaults->string("number") == "12");
    CHECK(defaults->string("real") == "2.5");
    CHECK(defaults->integer("real") == 2);
    CHECK(defaults->integer("garbage") == 0);
    CHECK_FALSE(defaults->boolean("garbage"));
    CHECK(defaults->string("flag") == "1");
    CHECK(defaults->integer("flag") == 1);
    // Containers are not scalars, and scalars are not containers, bytes or dates.
    CHECK_FALSE(defaults->string("list").has_value());
    CHECK(defaults->integer("list") == 0);
    CHECK_FALSE(defaults->array("number").has_value());
    CHECK_FALSE(defaults->dictionary("list").has_value());
    CHECK_FALSE(defaults->data("twelve").has_value());
    CHECK_FALSE(defaults->date("twelve").has_value());
    CHECK_FALSE(defaults->date("flag").has_value());
    CHECK(defaults->date("number") == 12.0);
    CHECK_FALSE(defaults->string("absent").has_value());
    CHECK(defaults->integer("absent") == 0);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "UserDefaults: registered defaults fill in absent keys only") {
    auto defaults = UserDefaults::standard();
    defaults->registerDefaults({{"a", "registered"}, {"b", 5}});
    defaults->registerDefaults({{"c", true}});
    defaults->set("a", "stored");
    CHECK(defaults->string("a") == "stored");
    CHECK(defaults->integer("b") == 5);
    CHECK(defaults->boolean("c"));
    CHECK(defaults->dictionaryRepresentation() == Value{{"a", "stored"}, {"b", 5}, {"c", true}});

    // Removing (or setting null) uncovers the registered value again.
    defaults->set("a", nullptr);
    CHECK(defaults->string("a") == "registered");
    defaults->set("b", 6);
    defaults->remove("b");
    CHECK(defaults->integer("b") == 5);

    // Registered values are not persisted.
    REQUIRE(defaults->synchronize());
    CHECK(reopen()->dictionaryRepresentation().empty());
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "UserDefaults: changes are written back shortly without synchronize") {
    auto defaults = UserDefaults::standard();
    for (int i = 0; i < 50; ++i)
        defaults->set("burst", i);
    advance(0.05);
    CHECK_FALSE(Sandbox::fileExists(defaults->filePath()));
    advance(1.0);
    auto written = [&] {
        auto text = Sandbox::readFile(defaults->filePath());
        return text && text->find("\"burst\":49") != std::string::npos;
    };
    CHECK(runUntil(written, 5.0));
    // The write-back leaves nothing pending.
    defaults.reset();
    CHECK(reopen()->integer("burst") == 49);
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "UserDefaults: values set on a thread that then exits are kept") {
    std::thread([] {
        UserDefaults::standard()->set("synced", "a");
        UserDefaults::standard()->synchronize();
    }).join();
    // Not synchronised: dropping the store still writes it.
    std::thread([] { UserDefaults::standard()->set("unsynced", "b"); }).join();
    auto defaults = reopen();
    CHECK(defaults->string("synced") == "a");
    CHECK(defaults->string("unsynced") == "b");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "UserDefaults: concurrent writers lose nothing") {
    constexpr int kThreads = 8;
    constexpr int kKeys = 150;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            auto defaults = UserDefaults::standard();
            for (int i = 0; i < kKeys; ++i) {
                defaults->set("t" + std::to_string(t) + "-" + std::to_string(i), i);
                if (i % 25 == 0) defaults->synchronize();
                (void)defaults->integer("t0-0");
            }
            defaults->set("last" + std::to_string(t), Value{{"t", t}});
            defaults->synchronize();
        });
    }
    for (auto& th : threads)
        th.join();

    auto defaults = reopen();
    Value all = defaults->dictionaryRepresentation();
    CHECK(all.size() == kThreads * kKeys + kThreads);
    for (int t = 0; t < kThreads; ++t) {
        CHECK(defaults->integer("t" + std::to_string(t) + "-" + std::to_string(kKeys - 1)) == kKeys - 1);
        CHECK(defaults->dictionary("last" + std::to_string(t)) == Value{{"t", t}});
    }
}

TEST_CASE_FIXTURE(platform::testing::Harness, "UserDefaults: the file is named after the bundle identifier") {
    platform::Bundle::mainBundle()->setValue("CFBundleIdentifier", "com.example/app");
    CHECK(UserDefaults::standard()->filePath() == Sandbox::preferencesDirectory() + "/com.example_app.json");
    UserDefaults::resetStandardForTesting();
    platform::Bundle::mainBundle()->setValue("CFBundleIdentifier", nullptr);
    CHECK(UserDefaults::standard()->filePath() == Sandbox::preferencesDirectory() + "/standard.json");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "UserDefaults: the last holder letting go writes what is pending") {
    auto defaults = UserDefaults::standard();
    UserDefaults::resetStandardForTesting();  // nothing pending yet; `defaults` is now the only holder
    defaults->set("late", "kept");
    const std::string path = defaults->filePath();
    CHECK_FALSE(Sandbox::fileExists(path));  // the write-back waits on the (virtual) clock
    defaults.reset();
    CHECK(Sandbox::fileExists(path));
    CHECK(UserDefaults::standard()->string("late") == "kept");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "UserDefaults: a failed write keeps the values, leaves no stray file and is retried") {
    auto defaults = UserDefaults::standard();
    const std::string path = defaults->filePath();
    const std::string dir = path.substr(0, path.find_last_of('/'));
    // A directory where the file should be: the rename fails whoever runs the test.
    REQUIRE(Sandbox::createDirectory(path, true));
    platform::LogCapture logs;
    defaults->set("k", 7);
    CHECK_FALSE(defaults->synchronize());
    CHECK(defaults->integer("k") == 7);
    CHECK(logs.contains("cannot write"));
    // Only the blocking directory: the temporary file is gone.
    CHECK(Sandbox::contentsOfDirectory(dir).size() == 1);

    // Still pending: once the way is clear the next synchronize writes it.
    REQUIRE(Sandbox::removeItem(path));
    CHECK(defaults->synchronize());
    defaults.reset();
    CHECK(reopen()->integer("k") == 7);
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "UserDefaults: one member leaves a dictionary in place and the change is written") {
    auto defaults = UserDefaults::standard();
    defaults->set("group", Value{{"a", 1}, {"b", Value{{"n", 2}}}, {"c", 3}});
    defaults->set("scalar", 7);
    defaults->registerDefaults(Value{{"registered", Value{{"x", 1}, {"y", 2}}}});

    CHECK(defaults->removeFromDictionary("group", "b"));
    CHECK_FALSE(defaults->removeFromDictionary("group", "b"));
    CHECK_FALSE(defaults->removeFromDictionary("group", "missing"));
    CHECK_FALSE(defaults->removeFromDictionary("scalar", "a"));
    CHECK_FALSE(defaults->removeFromDictionary("absent", "a"));
    // A registered dictionary becomes a stored one without the member; the registered one is untouched.
    CHECK_FALSE(defaults->removeFromDictionary("registered", "z"));
    CHECK(defaults->object("registered") == Value{{"x", 1}, {"y", 2}});
    CHECK(defaults->removeFromDictionary("registered", "x"));

    defaults = reopen();
    // The order of what is left is kept.
    CHECK(defaults->dictionary("group")->dump() == Value{{"a", 1}, {"c", 3}}.dump());
    CHECK(defaults->integer("scalar") == 7);
    CHECK(defaults->dictionary("registered") == Value{{"y", 2}});
    CHECK_FALSE(defaults->object("absent").has_value());
}
