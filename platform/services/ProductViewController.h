#pragma once
// The in-app store sheet for one product. Loading is simulated: tests script per item identifier whether
// it loads (unscripted identifiers load) and after what virtual delay. Main thread.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Error.h"
#include "platform/base/Value.h"
#include "platform/services/ProductViewControllerDelegate.h"
#include "platform/ui/ViewController.h"

namespace platform {

class ProductViewController : public ViewController {
public:
    // The parameters' key for the store's item identifier (a string or an integer).
    static constexpr const char* itemIdentifierParameter = "id";
    static constexpr const char* errorDomain = "ProductViewControllerErrorDomain";
    enum ErrorCode { InvalidParameters = 1, NotFound = 2 };
    using LoadCompletion = std::function<void(bool loaded, std::optional<Error> error)>;

    static std::shared_ptr<ProductViewController> create();

    void setDelegate(std::weak_ptr<ProductViewControllerDelegate> d) { delegate_ = std::move(d); }
    std::weak_ptr<ProductViewControllerDelegate> delegate() const { return delegate_; }
    // The completion (which may be empty) runs once, on the main loop. Parameters without a usable item
    // identifier fail with InvalidParameters.
    void loadProductWithParameters(const Value& parameters, LoadCompletion completion);
    // The identifier of the last product that loaded; empty before.
    const std::string& loadedItemIdentifier() const { return loaded_; }

    // Tests: what loading `itemIdentifier` does from now on. A failure without an error gets NotFound.
    static void scriptLoad(const std::string& itemIdentifier, bool loads, std::optional<Error> error = std::nullopt,
                           double delay = 0);
    // Tests: the user closes the sheet.
    void finishForTesting();

protected:
    ProductViewController() = default;

private:
    std::weak_ptr<ProductViewControllerDelegate> delegate_;
    std::string loaded_;
};

} // namespace platform
