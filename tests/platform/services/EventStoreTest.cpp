#include <doctest/doctest.h>

#include "platform/services/EventStore.h"
#include "platform/testing/Harness.h"

using platform::CalendarEvent;
using platform::EventStore;

TEST_CASE_FIXTURE(platform::testing::Harness, "EventStore: a request for access asks once and settles the status") {
    auto store = EventStore::create();
    CHECK(EventStore::authorizationStatusForEntityType(EventStore::Event) == EventStore::NotDetermined);
    EventStore::scriptAccessAnswer(false);
    int calls = 0;
    bool granted = true;
    store->requestAccessToEntityType(EventStore::Event, [&](bool g, std::optional<platform::Error>) {
        ++calls;
        granted = g;
    });
    CHECK(calls == 0); // answered on the main loop, not inside the call
    runUntilIdle();
    CHECK(calls == 1);
    CHECK_FALSE(granted);
    CHECK(EventStore::authorizationStatusForEntityType(EventStore::Event) == EventStore::Denied);
    // Reminders are separate.
    CHECK(EventStore::authorizationStatusForEntityType(EventStore::Reminder) == EventStore::NotDetermined);

    // Once denied, a changed answer does not matter: the user is not asked again.
    EventStore::scriptAccessAnswer(true);
    store->requestAccessToEntityType(EventStore::Event, [&](bool g, std::optional<platform::Error>) { granted = g; });
    runUntilIdle();
    CHECK_FALSE(granted);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "EventStore: saving needs access, both dates in order and an event of this store") {
    auto store = EventStore::create();
    auto event = CalendarEvent::eventWithEventStore(store);
    event->setTitle("Sale");
    event->setStartDate(1000);
    event->setEndDate(2000);
    platform::Error error;
    CHECK_FALSE(store->saveEvent(event, EventStore::ThisEvent, &error));
    CHECK(error.code == EventStore::NotAuthorized);

    EventStore::setAuthorizationStatusForTesting(EventStore::Event, EventStore::Authorized);
    event->setEndDate(500);
    CHECK_FALSE(store->saveEvent(event, EventStore::ThisEvent, &error));
    CHECK(error.code == EventStore::DatesInverted);
    event->setEndDate(std::nullopt);
    CHECK_FALSE(store->saveEvent(event, EventStore::ThisEvent, &error));
    CHECK(error.code == EventStore::NoEndDate);
    CHECK_FALSE(store->saveEvent(nullptr, EventStore::ThisEvent, &error));

    auto other = EventStore::create();
    event->setEndDate(2000);
    CHECK_FALSE(other->saveEvent(event, EventStore::ThisEvent, &error));
    CHECK(error.code == EventStore::NotOfThisStore);

    CHECK(store->saveEvent(event, EventStore::ThisEvent));
    CHECK_FALSE(event->eventIdentifier().empty());
    // Saving again updates the same event rather than adding one.
    CHECK(store->saveEvent(event, EventStore::ThisEvent));
    REQUIRE(EventStore::savedEventsForTesting().size() == 1);
    CHECK(EventStore::savedEventsForTesting()[0]->title() == "Sale");
}
