// The race runner's own rules, against its library: the rider line, what
// counts as an incident, and the search for a value that is not finite.
#include <gtest/gtest.h>

#ifdef TORVANE_RACESIM_PATH

#include <cmath>
#include <initializer_list>
#include <limits>
#include <memory>

#include "sim/bike.h"
#include "sim/rider_states.h"
#include "tools/racesim/race_sim.h"

namespace {

using racesim::RiderLine;
using racesim::RiderStatus;

TEST(RaceSimLineTest, FieldsByStatus)
{
    struct Case {
        RiderLine line;
        const char* text;
    };
    const Case cases[] = {
        {{1, 3, 3, 305.12f, 100.01f, RiderStatus::Finished, 0},
         "pos=1 rider=3 laps=3 time=305.120 best=100.010 status=finished incidents=0"},
        {{2, 5, 3, 420.5f, 98.25f, RiderStatus::Classified, 2},
         "pos=2 rider=5 laps=3 time=420.500 best=98.250 status=classified incidents=2"},
        // No lap timed: the placeholder is not a lap time.
        {{3, 7, 3, 580.0f, kNoLapTime, RiderStatus::Classified, 1},
         "pos=3 rider=7 laps=3 time=580.000 best=- status=classified incidents=1"},
        {{16, 9, 1, 90.0f, 60.5f, RiderStatus::Dnf, 4}, "pos=16 rider=9 laps=1 time=- best=60.500 status=dnf incidents=4"},
        {{4, 0, -1, 0.0f, kNoLapTime, RiderStatus::Dnf, 0}, "pos=4 rider=0 laps=-1 time=- best=- status=dnf incidents=0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(racesim::FormatRider(c.line), c.text);
}

// Falls count when they put a riding rider down, not as the fallen rider's
// animations follow one another; barrier bumps count as they start.
TEST(RaceSimLineTest, WhatCountsAsAnIncident)
{
    struct Case {
        std::int32_t previous, state;
        bool counts;
    };
    const Case cases[] = {
        {kRiderRiding, kRiderThrownA, true},
        {kRiderRiding, kRiderThrownB, true},
        {kRiderRiding, kRiderLowSideA, true},
        {kRiderLookBehind, kRiderLowSideB, true},
        {kRiderRideOffA, kRiderThrownB, true},   // back on the bike, and down again
        {kRiderBumped56, kRiderThrownA, true},   // a bump that ends in a fall
        {kRiderOffBike7, kRiderThrownA, false},  // already down
        {kRiderLowSideA, kRiderThrownA, false},
        {kRiderWalkToBikeA, kRiderLowSideA, false},
        {kRiderRiding, kRiderBumped56, true},
        {kRiderRiding, kRiderBumped57, true},
        {kRiderBumped57, kRiderBumped57, false}, // the same bump
        {kRiderRiding, kRiderBumped58, false},   // a rear slide, not the barrier
        {kRiderRiding, kRiderStuck, false},
        {kRiderThrownA, kRiderOffBike7, false},
        {kRiderRideOffA, kRiderRiding, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(racesim::CountsAsIncident(c.previous, c.state), c.counts) << c.previous << " -> " << c.state;
}

// The per-frame check (no names) and the search that names the field agree
// on every kind of field: plain, vector, array, nested wheel and tyre.
TEST(RaceSimLineTest, FirstValueThatIsNotFinite)
{
    auto bike = std::make_unique<Bike>();
    EXPECT_EQ(racesim::FirstNonFiniteField(*bike), "");
    EXPECT_TRUE(racesim::BikeStateFinite(*bike));
    bike->Speed = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(racesim::FirstNonFiniteField(*bike), "Speed");
    EXPECT_FALSE(racesim::BikeStateFinite(*bike));

    bike = std::make_unique<Bike>();
    bike->Position.y = std::numeric_limits<float>::infinity();
    EXPECT_EQ(racesim::FirstNonFiniteField(*bike), "Position");
    EXPECT_FALSE(racesim::BikeStateFinite(*bike));

    bike = std::make_unique<Bike>();
    bike->RearWheel.Tyre.Temp[2] = -std::numeric_limits<float>::infinity();
    EXPECT_EQ(racesim::FirstNonFiniteField(*bike), "RearWheel.Tyre.Temp");
    EXPECT_FALSE(racesim::BikeStateFinite(*bike));

    bike = std::make_unique<Bike>();
    bike->FrontWheel.Orientation.Roll = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(racesim::FirstNonFiniteField(*bike), "FrontWheel.Orientation");
    EXPECT_FALSE(racesim::BikeStateFinite(*bike));

    // Every kind of saved float: inside a step's start pose, an integrator,
    // the last element of an array, a tyre's curve, a wheel's last field.
    for (auto poison : std::initializer_list<void (*)(Bike&)>{
             [](Bike& b) { b.StepStart.RearGround = std::numeric_limits<float>::quiet_NaN(); },
             [](Bike& b) { b.Lean.Limit = std::numeric_limits<float>::infinity(); },
             [](Bike& b) { b.BodyVelocity[3].z = std::numeric_limits<float>::quiet_NaN(); },
             [](Bike& b) { b.FrontWheel.Tyre.TempCurve[3] = -std::numeric_limits<float>::infinity(); },
             [](Bike& b) { b.RearWheel.SlideMargin = std::numeric_limits<float>::quiet_NaN(); },
         }) {
        bike = std::make_unique<Bike>();
        poison(*bike);
        EXPECT_NE(racesim::FirstNonFiniteField(*bike), "");
        EXPECT_FALSE(racesim::BikeStateFinite(*bike)) << racesim::FirstNonFiniteField(*bike);
    }

    // Large finite values.
    bike = std::make_unique<Bike>();
    bike->Speed = std::numeric_limits<float>::max();
    bike->Position.x = -std::numeric_limits<float>::max();
    EXPECT_EQ(racesim::FirstNonFiniteField(*bike), "");
    EXPECT_TRUE(racesim::BikeStateFinite(*bike));
}

} // namespace

#endif
