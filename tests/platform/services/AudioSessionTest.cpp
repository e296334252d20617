#include <doctest/doctest.h>

#include <cmath>

#include "platform/foundation/NotificationCenter.h"
#include "platform/services/AudioSession.h"

using platform::AudioSession;

TEST_CASE("AudioSession: route changes post a notification and the volume stays within 0 to 1") {
    auto session = AudioSession::sharedInstance();
    auto outputs = session->currentRouteOutputs();
    REQUIRE(outputs.size() == 1);
    CHECK(outputs[0].portType == "Speaker");
    int changes = 0;
    auto center = platform::NotificationCenter::defaultCenter();
    auto token = center->addObserver(AudioSession::routeChangeNotification, session.get(), nullptr,
                                     [&](const platform::Notification&) { ++changes; });
    session->setCurrentRouteOutputsForTesting({{AudioSession::portHeadphones, "Headphones"}});
    session->setCurrentRouteOutputsForTesting({{AudioSession::portHeadphones, "Headphones"}});
    session->setCurrentRouteOutputsForTesting({});
    CHECK(changes == 2);
    CHECK(session->currentRouteOutputs().empty());

    session->setOutputVolumeForTesting(0);
    CHECK(session->outputVolume() == 0.0f);
    session->setOutputVolumeForTesting(3);
    CHECK(session->outputVolume() == 1.0f);
    session->setOutputVolumeForTesting(std::nanf(""));
    CHECK(session->outputVolume() == 1.0f);
    center->removeObserver(token);
}
