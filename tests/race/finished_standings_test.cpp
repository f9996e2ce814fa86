#include <gtest/gtest.h>

#include <memory>

#include "race/standings.h"
#include "sim/bike.h"

namespace {

// A finished rider that is not in the leading run of finishers (it finished
// on crossing the line after the winner, a lap down) stands at the line:
// its run on after the line does not carry it past riders still racing.
TEST(FinishedStandings, AFinishedRiderStandsAtTheLineItFinishedOn)
{
    constexpr float kLap = 1000.0f;
    auto bikes = std::make_unique<Bike[]>(3);
    // 0: the winner. 1: still racing, 2 laps and 600 m. 2: finished a lap
    // down and has since ridden 900 m on towards the pits.
    bikes[0].Status = kBikeFinished;
    bikes[0].Laps = 3;
    bikes[0].Progress = 50.0f;
    bikes[1].Laps = 2;
    bikes[1].Progress = 600.0f;
    bikes[2].Status = kBikeFinished;
    bikes[2].Laps = 2;
    bikes[2].Progress = 900.0f;
    std::int32_t order[3] = {0, 1, 2};
    EXPECT_EQ(SortRaceStandings(bikes.get(), order, 3, kLap), 1);
    EXPECT_EQ(order[1], 1);
    EXPECT_EQ(order[2], 2);

    // Finishers on the same lap keep the order they finished in.
    bikes[1].Status = kBikeFinished;
    bikes[1].Laps = 2;
    bikes[1].Progress = 10.0f;
    std::int32_t swapped[3] = {0, 2, 1};
    bikes[0].Status = 0; // an unfinished leader makes everyone sortable
    bikes[0].Laps = 5;
    EXPECT_EQ(SortRaceStandings(bikes.get(), swapped, 3, kLap), 0);
    EXPECT_EQ(swapped[0], 0);
    EXPECT_EQ(swapped[1], 2);
    EXPECT_EQ(swapped[2], 1);
}

} // namespace
