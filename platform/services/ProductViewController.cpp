#include "platform/services/ProductViewController.h"

#include <map>

#include "platform/services/PlatformAdNetwork.h"

namespace platform {
namespace {

struct LoadScript {
    bool loads = true;
    std::optional<Error> error;
    double delay = 0;
};

std::map<std::string, LoadScript>& scripts() {
    static std::map<std::string, LoadScript> s;
    return s;
}

std::optional<std::string> itemIdentifier(const Value& parameters) {
    if (!parameters.is_object()) return std::nullopt;
    auto it = parameters.find(ProductViewController::itemIdentifierParameter);
    if (it == parameters.end()) return std::nullopt;
    if (it->is_string() && !it->get<std::string>().empty()) return it->get<std::string>();
    if (it->is_number_integer() || it->is_number_unsigned()) return it->dump();
    return std::nullopt;
}

} // namespace

std::shared_ptr<ProductViewController> ProductViewController::create() {
    return std::shared_ptr<ProductViewController>(new ProductViewController());
}

void ProductViewController::loadProductWithParameters(const Value& parameters, LoadCompletion completion) {
    auto id = itemIdentifier(parameters);
    LoadScript script;
    if (!id) {
        script = {false, Error(errorDomain, InvalidParameters, "No store item identifier in the parameters."), 0};
    } else if (auto it = scripts().find(*id); it != scripts().end()) {
        script = it->second;
        if (!script.loads && !script.error) script.error = Error(errorDomain, NotFound, "The item was not found.");
    }
    std::weak_ptr<ProductViewController> weak = std::static_pointer_cast<ProductViewController>(shared_from_this());
    std::string item = id.value_or("");
    // Shares the network's delivery: the next turn for no delay, virtual time otherwise.
    PlatformAdNetwork::deliverLater(script.delay, [weak, item, script, completion = std::move(completion)] {
        auto self = weak.lock();
        if (self && script.loads) self->loaded_ = item;
        if (completion) completion(script.loads, script.loads ? std::nullopt : script.error);
    });
}

void ProductViewController::scriptLoad(const std::string& itemIdentifier, bool loads, std::optional<Error> error,
                                       double delay) {
    scripts()[itemIdentifier] = LoadScript{loads, std::move(error), delay};
}

void ProductViewController::finishForTesting() {
    if (auto d = delegate_.lock()) d->productViewControllerDidFinish(*this);
}

} // namespace platform
