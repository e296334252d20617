#include <doctest/doctest.h>

#include "platform/services/ProductViewController.h"
#include "platform/testing/Harness.h"

using platform::ProductViewController;

namespace {

struct Listener : platform::ProductViewControllerDelegate {
    int finished = 0;
    void productViewControllerDidFinish(ProductViewController&) override { ++finished; }
};

struct Outcome {
    int calls = 0;
    bool loaded = false;
    std::optional<platform::Error> error;
    ProductViewController::LoadCompletion completion() {
        return [this](bool ok, std::optional<platform::Error> e) {
            ++calls;
            loaded = ok;
            error = e;
        };
    }
};

} // namespace

TEST_CASE_FIXTURE(platform::testing::Harness, "ProductViewController: loads the scripted outcome on the main loop, once") {
    auto sheet = ProductViewController::create();
    Outcome ok;
    sheet->loadProductWithParameters({{ProductViewController::itemIdentifierParameter, "364709193"}}, ok.completion());
    CHECK(ok.calls == 0);
    runUntilIdle();
    CHECK(ok.calls == 1);
    CHECK(ok.loaded);
    CHECK(sheet->loadedItemIdentifier() == "364709193");

    ProductViewController::scriptLoad("42", false, std::nullopt, 3.0);
    Outcome missing;
    sheet->loadProductWithParameters({{ProductViewController::itemIdentifierParameter, 42}}, missing.completion());
    advance(2.9);
    CHECK(missing.calls == 0);
    advance(0.2);
    CHECK(missing.calls == 1);
    CHECK_FALSE(missing.loaded);
    REQUIRE(missing.error);
    CHECK(missing.error->code == ProductViewController::NotFound);
    CHECK(sheet->loadedItemIdentifier() == "364709193");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "ProductViewController: refuses parameters without an item identifier and tells the delegate when closed") {
    auto sheet = ProductViewController::create();
    Outcome bad;
    sheet->loadProductWithParameters(platform::Value::object(), bad.completion());
    sheet->loadProductWithParameters({{ProductViewController::itemIdentifierParameter, 1.5}}, bad.completion());
    sheet->loadProductWithParameters(platform::Value("id"), bad.completion());
    sheet->loadProductWithParameters({{ProductViewController::itemIdentifierParameter, "1"}}, nullptr);
    runUntilIdle();
    CHECK(bad.calls == 3);
    CHECK_FALSE(bad.loaded);
    CHECK(bad.error->code == ProductViewController::InvalidParameters);

    auto listener = std::make_shared<Listener>();
    sheet->setDelegate(listener);
    sheet->finishForTesting();
    CHECK(listener->finished == 1);
}
