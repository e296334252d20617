#pragma once
// Why a web view is about to load something, as its delegate is told. Any thread (plain values).

namespace platform {

enum class WebViewNavigationType {
    LinkClicked = 0,
    FormSubmitted = 1,
    BackForward = 2,
    Reload = 3,
    FormResubmitted = 4,
    Other = 5,
};

} // namespace platform
