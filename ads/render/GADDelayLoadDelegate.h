#pragma once
// Hears a creative's requests to hold back the end of its page load. Held weakly. Main thread.
namespace ruzave {

class GADDelayPageLoadGMSGHandler;

class GADDelayLoadDelegate {
  public:
    virtual ~GADDelayLoadDelegate() = default;
    virtual void loadHandlerDidCancel(GADDelayPageLoadGMSGHandler& handler) = 0;
    // loadHandlerDidChangeDelay:from:to:
    virtual void loadHandlerDidChangeDelay(GADDelayPageLoadGMSGHandler& handler, int from, int to) = 0;
};

} // namespace ruzave
