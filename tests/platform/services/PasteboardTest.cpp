#include <doctest/doctest.h>

#include <thread>
#include <vector>

#include "platform/services/Pasteboard.h"

using platform::Pasteboard;

TEST_CASE("Pasteboard: every copy counts, clearing too, also from several threads at once") {
    auto board = Pasteboard::general();
    CHECK(board == Pasteboard::general());
    CHECK_FALSE(board->string().has_value());
    long start = board->changeCount();
    board->setString("promo-code");
    CHECK(board->string() == "promo-code");
    board->setString(std::nullopt);
    CHECK_FALSE(board->string().has_value());
    CHECK(board->changeCount() == start + 2);

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([board, t] {
            for (int i = 0; i < 500; ++i) board->setString(std::string(static_cast<std::size_t>(t + 1), 'x'));
        });
    for (auto& th : threads) th.join();
    CHECK(board->changeCount() == start + 2 + 4 * 500);
    REQUIRE(board->string().has_value());
    CHECK(board->string()->find_first_not_of('x') == std::string::npos);
}
