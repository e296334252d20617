#include "ads/render/GADNotification.h"

#include <cstdio>
#include <unordered_map>
#include <utility>
#include <vector>

namespace ruzave {

bool GADNotification::isNotificationURL(const platform::URL& url) {
    return url.isValid() && url.scheme() == "gmsg";
}

std::shared_ptr<GADNotification> GADNotification::initWithNotificationURL(const platform::URL& url) {
    if (!isNotificationURL(url)) return nullptr;
    std::string path = url.path();
    if (path.size() < 2) return nullptr;
    std::string name = path.substr(1);

    // Pairs in order, later duplicates replacing earlier ones; indexed, as huge queries must stay cheap.
    std::vector<std::pair<std::string, std::string>> pairs;
    std::unordered_map<std::string, std::size_t> index;
    // Read where it lies: a message's query may be megabytes, and is not copied whole to be split.
    std::string_view query = url.absoluteString();
    query = query.substr(0, query.find('#'));
    const std::size_t mark = query.find('?');
    query = mark == std::string_view::npos ? std::string_view() : query.substr(mark + 1);
    std::size_t start = 0;
    while (start < query.size()) {
        std::size_t end = query.find_first_of("&;", start);
        if (end == std::string::npos) end = query.size();
        std::string_view piece(query.data() + start, end - start);
        start = end + 1;
        // Exactly one "=": bare flags and a=b=c carry no usable pair.
        std::size_t eq = piece.find('=');
        if (eq == std::string_view::npos || piece.find('=', eq + 1) != std::string_view::npos) continue;
        auto key = platform::percentDecode(piece.substr(0, eq));
        auto value = platform::percentDecode(piece.substr(eq + 1));
        if (!key || !value) continue;
        if (auto it = index.find(*key); it != index.end()) {
            pairs[it->second].second = std::move(*value);
        } else {
            index.emplace(*key, pairs.size());
            pairs.emplace_back(std::move(*key), std::move(*value));
        }
    }
    platform::Value parameters = platform::Value::object();
    auto& object = parameters.get_ref<platform::Value::object_t&>();
    object.reserve(pairs.size());
    for (auto& [key, value] : pairs) object.emplace_back(std::move(key), platform::Value(std::move(value)));
    return std::shared_ptr<GADNotification>(new GADNotification(std::move(name), std::move(parameters)));
}

std::shared_ptr<GADNotification> GADNotification::initWithName(const std::string& name,
                                                               const std::optional<platform::Value>& parameters) {
    if (name.empty()) return nullptr;
    platform::Value copy = platform::Value::object();
    if (parameters && parameters->is_object()) {
        // The keys of an object are unique already: appending skips a lookup per key, which made a page's
        // message with many thousands of parameters cost time growing with the square of their number.
        auto& object = copy.get_ref<platform::Value::object_t&>();
        for (auto it = parameters->begin(); it != parameters->end(); ++it) {
            if (it.value().is_string()) object.emplace_back(it.key(), it.value());
        }
    }
    return std::shared_ptr<GADNotification>(new GADNotification(name, std::move(copy)));
}

std::optional<std::string> GADNotification::parameter(const std::string& key) const {
    return stringParameter(parameters_, key);
}

std::optional<std::string> GADNotification::stringParameter(const platform::Value& parameters, std::string_view key) {
    if (const std::string* text = platform::findString(parameters, key)) return *text;
    return std::nullopt;
}

std::string GADNotification::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    return "<GADNotification: " + std::string(address) + "> name:" + name_ + " parameters:" + parameters_.dump();
}

} // namespace ruzave
