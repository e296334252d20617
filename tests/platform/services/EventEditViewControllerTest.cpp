#include <doctest/doctest.h>

#include "platform/services/EventEditViewController.h"
#include "platform/testing/Harness.h"

using platform::EventEditViewController;
using platform::EventEditViewControllerDelegate;
using platform::EventStore;

namespace {

struct Listener : EventEditViewControllerDelegate {
    std::vector<Action> actions;
    void eventEditViewControllerDidCompleteWithAction(EventEditViewController&, Action a) override { actions.push_back(a); }
};

} // namespace

TEST_CASE_FIXTURE(platform::testing::Harness, "EventEditViewController: saving goes through the store and is reported once") {
    auto store = EventStore::create();
    auto event = platform::CalendarEvent::eventWithEventStore(store);
    event->setTitle("Launch");
    event->setStartDate(100);
    event->setEndDate(200);
    auto editor = EventEditViewController::create();
    editor->setEventStore(store);
    editor->setEvent(event);
    auto listener = std::make_shared<Listener>();
    editor->setEditViewDelegate(listener);

    // Without access the save fails and the user stays in the editor.
    platform::Error error;
    CHECK_FALSE(editor->completeForTesting(EventEditViewControllerDelegate::Saved, &error));
    CHECK(error.code == EventStore::NotAuthorized);
    CHECK(listener->actions.empty());

    EventStore::setAuthorizationStatusForTesting(EventStore::Event, EventStore::Authorized);
    CHECK(editor->completeForTesting(EventEditViewControllerDelegate::Saved));
    CHECK_FALSE(editor->completeForTesting(EventEditViewControllerDelegate::Canceled));
    CHECK(listener->actions == std::vector<EventEditViewControllerDelegate::Action>{EventEditViewControllerDelegate::Saved});
    CHECK(EventStore::savedEventsForTesting().size() == 1);

    auto cancelled = EventEditViewController::create();
    cancelled->setEditViewDelegate(listener);
    CHECK(cancelled->completeForTesting(EventEditViewControllerDelegate::Canceled));
    CHECK(listener->actions.size() == 2);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "EventEditViewController: deleting takes a saved event out of the calendar") {
    auto store = EventStore::create();
    auto event = platform::CalendarEvent::eventWithEventStore(store);
    event->setStartDate(100);
    event->setEndDate(200);
    EventStore::setAuthorizationStatusForTesting(EventStore::Event, EventStore::Authorized);
    REQUIRE(store->saveEvent(event, EventStore::ThisEvent));
    REQUIRE(EventStore::savedEventsForTesting().size() == 1);

    auto editor = EventEditViewController::create();
    editor->setEventStore(store);
    editor->setEvent(event);
    auto listener = std::make_shared<Listener>();
    editor->setEditViewDelegate(listener);

    // Refused while access is denied: nothing reported, the event stays.
    EventStore::setAuthorizationStatusForTesting(EventStore::Event, EventStore::Denied);
    platform::Error error;
    CHECK_FALSE(editor->completeForTesting(EventEditViewControllerDelegate::Deleted, &error));
    CHECK(error.code == EventStore::NotAuthorized);
    CHECK(listener->actions.empty());
    CHECK(EventStore::savedEventsForTesting().size() == 1);

    EventStore::setAuthorizationStatusForTesting(EventStore::Event, EventStore::Authorized);
    CHECK(editor->completeForTesting(EventEditViewControllerDelegate::Deleted));
    CHECK(listener->actions == std::vector<EventEditViewControllerDelegate::Action>{EventEditViewControllerDelegate::Deleted});
    CHECK(EventStore::savedEventsForTesting().empty());
    CHECK(event->eventIdentifier().empty());
    // Removed once: a second removal finds nothing.
    CHECK_FALSE(store->removeEvent(event, EventStore::ThisEvent, &error));
    CHECK(error.code == EventStore::EventNotFound);

    // An event never saved is deleted without touching the calendar.
    auto fresh = EventEditViewController::create();
    fresh->setEventStore(store);
    fresh->setEvent(platform::CalendarEvent::eventWithEventStore(store));
    fresh->setEditViewDelegate(listener);
    CHECK(fresh->completeForTesting(EventEditViewControllerDelegate::Deleted));
    CHECK(listener->actions.size() == 2);
}
