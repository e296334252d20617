#include <doctest/doctest.h>

#include "ads/core/telemetry/GADActiveViewGMSGHandler.h"
#include "ads/render/GADNotification.h"

using ruzave::GADActiveViewGMSGHandler;

namespace {

struct Verdicts : ruzave::GADActiveViewGMSGHandlerDelegate {
    std::vector<std::string> calls;
    void activeViewGMSGHandlerDidReceiveVisibilityNotification(GADActiveViewGMSGHandler&, bool visible,
                                                               std::uint32_t id) override {
        calls.push_back(std::string(visible ? "visible " : "hidden ") + std::to_string(id));
    }
    void activeViewGMSGHandlerDidReceiveUntrackNotification(GADActiveViewGMSGHandler&, std::uint32_t id) override {
        calls.push_back("untrack " + std::to_string(id));
    }
};

bool send(GADActiveViewGMSGHandler& handler, const std::string& name, platform::Value parameters) {
    return handler.handleNotification(ruzave::GADNotification::initWithName(name, parameters), nullptr);
}

} // namespace

TEST_CASE("GADActiveViewGMSGHandler: only \"1\" is visible and messages missing a parameter are ignored") {
    auto handler = GADActiveViewGMSGHandler::init();
    auto verdicts = std::make_shared<Verdicts>();
    handler->setDelegate(verdicts);
    CHECK(send(*handler, "visibilityChanged", {{"hashCode", "7"}, {"isVisible", "1"}}));
    CHECK(send(*handler, "visibilityChanged", {{"hashCode", "7"}, {"isVisible", "true"}}));
    CHECK(send(*handler, "visibilityChanged", {{"hashCode", "7"}}));
    CHECK(send(*handler, "visibilityChanged", {{"isVisible", "1"}}));
    CHECK(send(*handler, "untrackActiveViewUnit", platform::Value::object()));
    CHECK(send(*handler, "untrackActiveViewUnit", {{"hashCode", "junk"}}));
    CHECK(send(*handler, "untrackActiveViewUnit", {{"hashCode", "12"}}));
    CHECK_FALSE(send(*handler, "somethingElse", {{"hashCode", "1"}}));
    CHECK(verdicts->calls == std::vector<std::string>{"visible 7", "hidden 7", "untrack 0", "untrack 12"});
}
