#pragma once
// A request for search ads: the query and how the search ad is to look (colours, font, border, call
// button), sent as the "search" dictionary of the request parameters. Filled on the main thread, then
// copied; parameters() may run on any thread.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ads/core/public/GADRequest.h"
#include "platform/ui/Color.h"

namespace ruzave {

class GADSearchRequest : public GADRequest {
  public:
    using Color = std::optional<platform::Color>;
    // borderType values.
    static constexpr std::uint32_t kBorderTypeNone = 0, kBorderTypeDashed = 1, kBorderTypeDotted = 2,
                                   kBorderTypeSolid = 3;
    // callButtonColor values.
    static constexpr std::uint32_t kCallButtonColorLight = 0, kCallButtonColorMedium = 1,
                                   kCallButtonColorDark = 2;

    static std::shared_ptr<GADSearchRequest> request();
    static std::shared_ptr<GADSearchRequest> init() { return request(); }

    std::shared_ptr<GADRequest> copy() const override;
    std::string className() const override { return "GADSearchRequest"; }
    platform::Value parameters() const override;
    // "#rrggbb" of the colour's red, green and blue; black for a colour that has none (a pattern).
    static std::string colorText(const platform::Color& color);

    // backgroundColor := the colour; no gradient.
    void setBackgroundSolid(const Color& color);
    // Both colours or nothing changes: the gradient replaces the solid background.
    void setBackgroundGradientFrom(const Color& from, const Color& to);

    const std::optional<std::string>& query() const { return query_; }
    void setQuery(const std::optional<std::string>& v) { query_ = v; }
    const Color& backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const Color& v) { backgroundColor_ = v; }
    const Color& gradientFrom() const { return gradientFrom_; }
    void setGradientFrom(const Color& v) { gradientFrom_ = v; }
    const Color& gradientTo() const { return gradientTo_; }
    void setGradientTo(const Color& v) { gradientTo_ = v; }
    const Color& headerColor() const { return headerColor_; }
    void setHeaderColor(const Color& v) { headerColor_ = v; }
    const Color& descriptionTextColor() const { return descriptionTextColor_; }
    void setDescriptionTextColor(const Color& v) { descriptionTextColor_ = v; }
    const Color& anchorTextColor() const { return anchorTextColor_; }
    void setAnchorTextColor(const Color& v) { anchorTextColor_ = v; }
    const std::optional<std::string>& fontFamily() const { return fontFamily_; }
    void setFontFamily(const std::optional<std::string>& v) { fontFamily_ = v; }
    std::uint32_t headerTextSize() const { return headerTextSize_; }
    void setHeaderTextSize(std::uint32_t v) { headerTextSize_ = v; }
    const Color& borderColor() const { return borderColor_; }
    void setBorderColor(const Color& v) { borderColor_ = v; }
    std::uint32_t borderType() const { return borderType_.value_or(kBorderTypeNone); }
    void setBorderType(std::uint32_t v) { borderType_ = v; }
    std::uint32_t borderThickness() const { return borderThickness_; }
    void setBorderThickness(std::uint32_t v) { borderThickness_ = v; }
    const std::optional<std::string>& customChannels() const { return customChannels_; }
    void setCustomChannels(const std::optional<std::string>& v) { customChannels_ = v; }
    std::uint32_t callButtonColor() const { return callButtonColor_.value_or(kCallButtonColorLight); }
    void setCallButtonColor(std::uint32_t v) { callButtonColor_ = v; }

  protected:
    GADSearchRequest() = default;

  private:
    std::optional<std::string> query_;
    Color backgroundColor_, gradientFrom_, gradientTo_, headerColor_, descriptionTextColor_, anchorTextColor_;
    std::optional<std::string> fontFamily_;
    std::uint32_t headerTextSize_ = 0;
    Color borderColor_;
    // Unset until the app chooses: a request that never chose a border or call button says nothing of them.
    std::optional<std::uint32_t> borderType_;
    std::uint32_t borderThickness_ = 0;
    std::optional<std::string> customChannels_;
    std::optional<std::uint32_t> callButtonColor_;
};

} // namespace ruzave
