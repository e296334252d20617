#pragma once
// What the fuzz targets share: the input as text, a split at the first newline, and one test
// harness per process (sandbox, fresh defaults, virtual time) for targets that need the main loop.
// Main thread (libFuzzer calls the targets there).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLProtocol.h"
#include "platform/testing/Harness.h"

namespace fuzz {

inline std::string_view text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The part before the first newline and the rest; without a newline, the whole and "".
inline std::pair<std::string_view, std::string_view> splitLine(std::string_view s) {
    auto nl = s.find('\n');
    if (nl == std::string_view::npos) return {s, {}};
    return {s.substr(0, nl), s.substr(nl + 1)};
}

inline platform::testing::Harness& harness() {
    static platform::testing::Harness h;
    return h;
}

// A check that must hold for every input: a failure is a crash libFuzzer keeps.
inline void require(bool condition) {
    if (!condition) __builtin_trap();
}

// Answers every http and https request of the process locally with one canned response, so that no
// input reaches the network. Install it once; set the answer before each input.
class CannedAnswers : public platform::URLProtocolClass {
  public:
    static CannedAnswers& install() {
        static auto answers = [] {
            auto a = std::shared_ptr<CannedAnswers>(new CannedAnswers());
            platform::URLProtocol::registerClass(a);
            return a;
        }();
        return *answers;
    }

    int status = 404;
    platform::HTTPHeaderFields headers;
    std::string body;

    bool canInitWithRequest(const platform::URLRequest& request) const override {
        auto scheme = request.url().scheme();
        return scheme == "http" || scheme == "https";
    }
    std::shared_ptr<platform::URLProtocol> create(const platform::URLRequest& request,
                                                  std::shared_ptr<platform::URLProtocolClient> client) const override {
        return std::make_shared<Answer>(request, std::move(client), *this);
    }

  private:
    CannedAnswers() = default;

    class Answer : public platform::URLProtocol {
      public:
        Answer(const platform::URLRequest& request, std::shared_ptr<platform::URLProtocolClient> client,
               const CannedAnswers& answers)
            : URLProtocol(request, std::move(client)), status_(answers.status), headers_(answers.headers),
              body_(answers.body) {}
        void startLoading() override {
            client()->didReceiveResponse(platform::HTTPURLResponse(request().url(), status_, headers_),
                                         platform::URLCacheStoragePolicy::NotAllowed);
            if (!body_.empty()) client()->didLoadData(platform::Bytes(body_.begin(), body_.end()));
            client()->didFinishLoading();
        }
        void stopLoading() override {}

      private:
        int status_;
        platform::HTTPHeaderFields headers_;
        std::string body_;
    };
};

} // namespace fuzz
