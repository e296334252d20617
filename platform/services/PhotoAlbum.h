#pragma once
// The saved-photos album. Saving is simulated: tests script whether it succeeds (it does by default); the
// completion runs once, on the main loop. Main thread.
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/base/Error.h"

namespace platform {

class Image;

class PhotoAlbum {
public:
    static constexpr const char* errorDomain = "PhotoAlbumErrorDomain";
    enum ErrorCode { NoImage = 1, WriteFailed = 2 };
    using Completion = std::function<void(bool saved, std::optional<Error> error)>;

    // A null image fails with NoImage. `completion` may be empty.
    static void saveImage(const std::shared_ptr<Image>& image, Completion completion = nullptr);

    // Tests: nullopt makes saves succeed, an error makes them fail with it.
    static void scriptSaveFailure(std::optional<Error> error);
    static std::vector<std::shared_ptr<Image>> savedImagesForTesting();
};

} // namespace platform
