#include <doctest/doctest.h>

#include <cmath>
#include <cstdlib>
#include <sys/stat.h>

#include "platform/base/Error.h"
#include "platform/foundation/Sandbox.h"
#include "platform/testing/Harness.h"

using platform::Bytes;
using platform::Error;
using platform::Sandbox;

namespace {

bool isDirectory(const std::string& path) {
    bool dir = false;
    return Sandbox::fileExists(path, &dir) && dir;
}

unsigned permissionsOf(const std::string& path) {
    struct stat st {};
    REQUIRE(::stat(path.c_str(), &st) == 0);
    return st.st_mode & 0777;
}

} // namespace

TEST_CASE_FIXTURE(platform::testing::Harness, "Sandbox: the standard folders live in the home and exist") {
    CHECK(Sandbox::homeDirectory() == home());
    CHECK(Sandbox::documentsDirectory() == home() + "/Documents");
    CHECK(Sandbox::cachesDirectory() == home() + "/Library/Caches");
    CHECK(Sandbox::preferencesDirectory() == home() + "/Library/Preferences");
    CHECK(Sandbox::temporaryDirectory() == home() + "/tmp");
    for (const auto& dir : {Sandbox::documentsDirectory(), Sandbox::cachesDirectory(),
                            Sandbox::preferencesDirectory(), Sandbox::temporaryDirectory()})
        CHECK(isDirectory(dir));
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "Sandbox: the home comes from the environment, else a fresh folder") {
    std::string fromEnv = home() + "/nested/home/";
    ::setenv("RUZAVE_APP_HOME", fromEnv.c_str(), 1);
    Sandbox::resetForTesting("");
    CHECK(Sandbox::homeDirectory() == home() + "/nested/home");
    CHECK(isDirectory(home() + "/nested/home"));

    ::unsetenv("RUZAVE_APP_HOME");
    Sandbox::resetForTesting("");
    std::string fresh = Sandbox::homeDirectory();
    CHECK(isDirectory(fresh));
    CHECK(fresh.find("ruzave-home-") != std::string::npos);
    CHECK(fresh.rfind(home(), 0) != 0);
    // Stays the same for the rest of the process.
    CHECK(Sandbox::homeDirectory() == fresh);
    CHECK(Sandbox::removeItem(fresh));
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "Sandbox: an atomic write replaces the file and leaves no temporary") {
    std::string path = Sandbox::documentsDirectory() + "/file.bin";
    Bytes binary = {0, 1, 0, 255, 10, 0};
    REQUIRE(Sandbox::writeFileAtomically(path, binary));
    auto first = Sandbox::readFile(path);
    REQUIRE(first.has_value());
    CHECK(Bytes(first->begin(), first->end()) == binary);
    CHECK(permissionsOf(path) == 0644);

    Error error;
    REQUIRE(Sandbox::writeFileAtomically(path, std::string_view("second"), &error, 0600));
    CHECK(Sandbox::readFile(path) == std::optional<std::string>("second"));
    CHECK(permissionsOf(path) == 0600);
    CHECK(Sandbox::contentsOfDirectory(Sandbox::documentsDirectory()) ==
          std::vector<std::string>{"file.bin"});

    REQUIRE(Sandbox::writeFileAtomically(path, std::string_view("")));
    CHECK(Sandbox::readFile(path) == std::optional<std::string>(""));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "Sandbox: failures report an error and leave nothing behind") {
    Error error;
    std::string inMissing = home() + "/missing/file.txt";
    CHECK_FALSE(Sandbox::writeFileAtomically(inMissing, std::string_view("x"), &error));
    CHECK(error.domain == "NSPOSIXErrorDomain");
    CHECK_FALSE(Sandbox::fileExists(home() + "/missing"));

    error = {};
    CHECK_FALSE(Sandbox::readFile(inMissing, &error).has_value());
    CHECK(error.code == ENOENT);

    error = {};
    CHECK_FALSE(Sandbox::readFile(Sandbox::documentsDirectory(), &error).has_value());
    CHECK_FALSE(error.empty());

    error = {};
    CHECK_FALSE(
        Sandbox::writeFileAtomically(Sandbox::documentsDirectory() + "/", std::string_view("x"), &error));
    CHECK_FALSE(error.empty());

    error = {};
    CHECK(Sandbox::contentsOfDirectory(inMissing, &error).empty());
    CHECK_FALSE(error.empty());
    CHECK_FALSE(Sandbox::modificationDate(inMissing).has_value());
    CHECK_FALSE(Sandbox::fileExists(""));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "Sandbox: folders are created with or without parents") {
    std::string deep = home() + "/a/b/c";
    Error error;
    CHECK_FALSE(Sandbox::createDirectory(deep, false, &error));
    CHECK_FALSE(error.empty());
    CHECK(Sandbox::createDirectory(deep, true));
    CHECK(isDirectory(deep));
    // Existing folders are fine either way.
    CHECK(Sandbox::createDirectory(deep, true));
    CHECK(Sandbox::createDirectory(deep, false));

    std::string file = home() + "/a/file";
    REQUIRE(Sandbox::writeFileAtomically(file, std::string_view("x")));
    error = {};
    CHECK_FALSE(Sandbox::createDirectory(file, true, &error));
    CHECK_FALSE(error.empty());
    CHECK_FALSE(Sandbox::createDirectory(file, false));
    CHECK_FALSE(Sandbox::createDirectory(file + "/below", true));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "Sandbox: removeItem removes files and whole folders") {
    std::string dir = home() + "/tree";
    REQUIRE(Sandbox::createDirectory(dir + "/sub/deeper", true));
    REQUIRE(Sandbox::writeFileAtomically(dir + "/sub/deeper/f", std::string_view("x")));
    REQUIRE(Sandbox::writeFileAtomically(dir + "/g", std::string_view("y")));
    CHECK(Sandbox::contentsOfDirectory(dir) == std::vector<std::string>{"g", "sub"});

    CHECK(Sandbox::removeItem(dir + "/g"));
    CHECK_FALSE(Sandbox::fileExists(dir + "/g"));
    CHECK(Sandbox::removeItem(dir));
    CHECK_FALSE(Sandbox::fileExists(dir));

    Error error;
    CHECK_FALSE(Sandbox::removeItem(dir, &error));
    CHECK(error.code == ENOENT);
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "Sandbox: modification dates read and write with sub-second precision") {
    std::string path = Sandbox::cachesDirectory() + "/entry";
    REQUIRE(Sandbox::writeFileAtomically(path, std::string_view("x")));
    REQUIRE(Sandbox::setModificationDate(path, 1356998400.25));
    auto date = Sandbox::modificationDate(path);
    REQUIRE(date.has_value());
    CHECK(std::fabs(*date - 1356998400.25) < 1e-6);

    // Before 1970 the fraction still counts forward from the whole second below.
    REQUIRE(Sandbox::setModificationDate(path, -10.5));
    CHECK(std::fabs(*Sandbox::modificationDate(path) + 10.5) < 1e-6);

    Error error;
    CHECK_FALSE(Sandbox::setModificationDate(path, std::nan(""), &error));
    CHECK_FALSE(error.empty());
    CHECK_FALSE(Sandbox::setModificationDate(home() + "/nothing", 100.0));
}
