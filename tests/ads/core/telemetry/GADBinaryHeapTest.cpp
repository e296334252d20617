#include <doctest/doctest.h>

#include "ads/core/telemetry/GADBinaryHeap.h"

using ruzave::GADBinaryHeap;

TEST_CASE("GADBinaryHeap: the minimum comes first and the sorted view is ascending") {
    GADBinaryHeap<int> heap;
    CHECK_FALSE(heap.minimum());
    CHECK_FALSE(heap.removedMinimum());
    CHECK_FALSE(heap.sortedObjects());
    for (int v : {5, 1, 9, 3, 7, 3}) {
        heap.addObject(v);
    }
    CHECK(heap.count() == 6);
    CHECK(*heap.minimum() == 1);
    CHECK(*heap.sortedObjects() == std::vector<int>{1, 3, 3, 5, 7, 9});
    CHECK(*heap.removedMinimum() == 1);
    CHECK(*heap.removedMinimum() == 3);
    CHECK(heap.containsObject(9));
    CHECK_FALSE(heap.containsObject(1));
    CHECK(heap.count() == 4);
}

TEST_CASE("GADBinaryHeap: a comparator decides the order and what counts as contained") {
    // Ordered by the tens only: 12 and 17 compare equal.
    GADBinaryHeap<int> heap([](const int& a, const int& b) { return a / 10 - b / 10; });
    heap.addObject(31);
    heap.addObject(12);
    heap.addObject(25);
    CHECK(*heap.minimum() == 12);
    CHECK(heap.containsObject(17));
    CHECK_FALSE(heap.containsObject(47));
}
