#include "platform/services/PhotoAlbum.h"

#include "platform/base/Log.h"
#include "platform/runloop/MainLoop.h"
#include "platform/ui/Image.h"

namespace platform {
namespace {

struct Album {
    std::optional<Error> failure;
    std::vector<std::shared_ptr<Image>> saved;
};

Album& album() {
    static Album a;
    return a;
}

} // namespace

void PhotoAlbum::saveImage(const std::shared_ptr<Image>& image, Completion completion) {
    std::optional<Error> error;
    if (!image)
        error = Error(errorDomain, NoImage, "There is no image to save.");
    else if (album().failure)
        error = album().failure;
    else
        album().saved.push_back(image);
    if (error) logInfo("PhotoAlbum: could not save an image: " + error->description);
    if (!completion) return;
    MainLoop::main().post([completion = std::move(completion), error] { completion(!error, error); });
}

void PhotoAlbum::scriptSaveFailure(std::optional<Error> error) { album().failure = std::move(error); }

std::vector<std::shared_ptr<Image>> PhotoAlbum::savedImagesForTesting() { return album().saved; }

} // namespace platform
