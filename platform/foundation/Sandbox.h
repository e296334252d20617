#pragma once
// The app's home folder and its standard subfolders, and file helpers over them. Any thread.
//
// The home is RUZAVE_APP_HOME when set, else a fresh temporary folder made on first use. Every folder
// handed out here exists when it is returned.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/Value.h"

namespace platform {

struct Error;

class Sandbox {
  public:
    static std::string homeDirectory();
    static std::string documentsDirectory();   // <home>/Documents
    static std::string cachesDirectory();      // <home>/Library/Caches
    static std::string preferencesDirectory(); // <home>/Library/Preferences
    static std::string temporaryDirectory();   // <home>/tmp

    // An existing folder counts as success.
    static bool createDirectory(const std::string& path, bool withParents, Error* error = nullptr);
    // Writes to a temporary file in the same folder, flushes it to disk and renames it over `path`, so a
    // reader sees the old or the new content, never a torn mix. `permissions` as for chmod (0600: owner
    // only).
    static bool writeFileAtomically(const std::string& path, std::string_view bytes, Error* error = nullptr,
                                    unsigned permissions = 0644);
    static bool writeFileAtomically(const std::string& path, const Bytes& bytes, Error* error = nullptr,
                                    unsigned permissions = 0644);
    static std::optional<std::string> readFile(const std::string& path, Error* error = nullptr);
    // Removes a file, or a folder with everything in it. A missing item is an error.
    static bool removeItem(const std::string& path, Error* error = nullptr);
    static bool fileExists(const std::string& path, bool* isDirectory = nullptr);
    // Names (not paths) of the folder's entries, sorted; empty when it cannot be read.
    static std::vector<std::string> contentsOfDirectory(const std::string& path, Error* error = nullptr);
    // Seconds since 1970.
    static std::optional<double> modificationDate(const std::string& path);
    static bool setModificationDate(const std::string& path, double secondsSince1970, Error* error = nullptr);

    // Tests: use `newHome` as the home from now on (empty: forget it, so the next use reads
    // RUZAVE_APP_HOME again or makes a fresh folder).
    static void resetForTesting(const std::string& newHome);
};

} // namespace platform
