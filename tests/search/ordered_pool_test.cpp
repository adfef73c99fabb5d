// The ordered worker pool the counting run is built on: results reach the
// consumer in input order, promptly, and a stop ends the run early.
#include <search/ordered_pool.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <random>
#include <thread>
#include <vector>

using namespace search;

TEST(OrderedPool, ResultsArriveInOrderAndStopEndsEarly) {
    std::vector<std::size_t> seen;
    std::mt19937 rng(7);
    std::vector<int> delays(500);
    for (auto& d : delays) d = static_cast<int>(rng() % 200);
    RunOrdered<std::size_t>(
        delays.size(), 4,
        [&](std::size_t i) {
            std::this_thread::sleep_for(std::chrono::microseconds(delays[i]));
            return i * 3;
        },
        [&](std::size_t i, std::size_t v) {
            EXPECT_EQ(v, i * 3);
            seen.push_back(i);
            return i < 99;
        });
    ASSERT_EQ(seen.size(), 100u);
    for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], i);
}

// Workers take items in batches; a result must still reach the consumer
// while a slow item after it in the same batch is being counted (a row
// shown, not held back behind a file that takes minutes).
TEST(OrderedPool, AResultIsNotHeldBackBySlowItemsAfterIt) {
    std::promise<void> firstConsumed;
    std::shared_future<void> seen = firstConsumed.get_future().share();
    bool slowItemSawTheFirstResult = false;
    std::size_t consumed = 0;
    RunOrdered<int>(
        1000, 2,
        [&](std::size_t i) {
            if (i == 1) slowItemSawTheFirstResult = seen.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
            return static_cast<int>(i);
        },
        [&](std::size_t i, int) {
            if (i == 0) firstConsumed.set_value();
            ++consumed;
            return true;
        });
    EXPECT_TRUE(slowItemSawTheFirstResult);
    EXPECT_EQ(consumed, 1000u);
}
