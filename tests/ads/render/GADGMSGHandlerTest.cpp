#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "ads/render/GADGMSGHandler.h"
#include "ads/render/GADNotification.h"

using ruzave::GADGMSGHandler;
using ruzave::GADNotification;

namespace {

class Recorder : public GADGMSGHandler {
  public:
    static std::shared_ptr<Recorder> make() { return std::shared_ptr<Recorder>(new Recorder()); }
    const ActionBlockDictionary* actionBlockDictionary() const override {
        static const ActionBlockDictionary table = {
            {"open", [](GADGMSGHandler& h, const Arguments& a) { h.dispatchSubAction("a", a); }},
            {"log", [](GADGMSGHandler& h, const Arguments& a) {
                 static_cast<Recorder&>(h).calls.push_back("log " + a.note->parameter("string").value_or("-"));
             }},
        };
        return &table;
    }
    const ActionBlockDictionary* subActionBlockDictionary() const override {
        static const ActionBlockDictionary table = {
            {"app", [](GADGMSGHandler& h, const Arguments&) { static_cast<Recorder&>(h).calls.push_back("open app"); }},
        };
        return &table;
    }
    std::vector<std::string> calls;
};

class Base : public GADGMSGHandler {
  public:
    static std::shared_ptr<Base> make() { return std::shared_ptr<Base>(new Base()); }
};

platform::URLRequest request(const std::string& text) {
    return *platform::URLRequest::withURLString(text);
}

} // namespace

TEST_CASE("GADGMSGHandler: a name in the table is handled, others and other URLs are declined") {
    auto handler = Recorder::make();
    CHECK(handler->handleRequest(request("gmsg://h/log?string=hi"), nullptr));
    CHECK_FALSE(handler->handleRequest(request("gmsg://h/Log?string=hi"), nullptr));
    CHECK_FALSE(handler->handleRequest(request("https://h/log?string=hi"), nullptr));
    CHECK_FALSE(handler->handleRequest(request("gmsg://h/"), nullptr));
    CHECK(handler->calls == std::vector<std::string>{"log hi"});
}

TEST_CASE("GADGMSGHandler: unknown or missing sub-actions are handled and do nothing") {
    auto handler = Recorder::make();
    CHECK(handler->handleRequest(request("gmsg://h/open?a=nothing"), nullptr));
    CHECK(handler->handleRequest(request("gmsg://h/open"), nullptr));
    CHECK(handler->calls.empty());
    CHECK(handler->handleRequest(request("gmsg://h/open?a=app"), nullptr));
    CHECK(handler->calls == std::vector<std::string>{"open app"});
}

TEST_CASE("GADGMSGHandler: the base class handles nothing") {
    auto base = Base::make();
    CHECK(base->actionBlockDictionary() == nullptr);
    CHECK_FALSE(base->handleNotification(GADNotification::initWithName("log", std::nullopt), nullptr));
    CHECK_FALSE(base->handleNotification(nullptr, nullptr));
}
