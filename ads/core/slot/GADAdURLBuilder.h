#pragma once
// How a slot asks the SDK core for its ad URL. The core controller installs itself here; tests install
// fakes. Any thread may install; the slot calls on the main thread.
#include <functional>
#include <memory>

namespace ruzave {

class GADSlot;

class GADAdURLBuilder {
  public:
    using Builder = std::function<void(const std::shared_ptr<GADSlot>&)>;

    static void setBuilder(Builder builder);
    // False when nothing is installed: no SDK core can build the URL.
    static bool buildAdURL(const std::shared_ptr<GADSlot>& slot);

  private:
    GADAdURLBuilder() = delete;
};

} // namespace ruzave
