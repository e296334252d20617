#pragma once
// Hears that the user closed the store sheet, on the main thread.
namespace platform {

class ProductViewController;

class ProductViewControllerDelegate {
public:
    virtual ~ProductViewControllerDelegate() = default;
    virtual void productViewControllerDidFinish(ProductViewController& controller) = 0;
};

} // namespace platform
