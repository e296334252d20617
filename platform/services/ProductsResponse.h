#pragma once
// A products request's answer: the products found and the identifiers the store does not know.
// Any thread (a plain value).
#include <string>
#include <vector>

#include "platform/services/Product.h"

namespace platform {

struct ProductsResponse {
    std::vector<Product> products;
    std::vector<std::string> invalidProductIdentifiers;
};

} // namespace platform
