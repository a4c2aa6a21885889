// Flight phases from altitude series: a whole flight, and the things that must not fool it
// (GPS scatter on the ground, a downdraft during the ascent, reception beginning mid-descent).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "flight/flight_phase.h"

namespace {

using namespace nimbra;
using namespace nimbra::flight;

// Feeds one altitude a second from `start` and returns the phase after each.
std::vector<FlightPhase> feed(PhaseDetector& d, const std::vector<double>& altitudes, double start = 0.0)
{
    std::vector<FlightPhase> phases;
    for (std::size_t i = 0; i < altitudes.size(); ++i)
        phases.push_back(d.update(start + static_cast<double>(i), 39.7, -77.0, altitudes[i]));
    return phases;
}

// Seconds of the first phase p, -1 if none.
int firstOf(const std::vector<FlightPhase>& phases, FlightPhase p)
{
    for (std::size_t i = 0; i < phases.size(); ++i)
        if (phases[i] == p)
            return static_cast<int>(i);
    return -1;
}

TEST(FlightPhase, WholeFlight)
{
    std::vector<double> alt;
    for (int i = 0; i < 60; ++i)  // on the ground, scattering by up to 6 m
        alt.push_back(220.0 + 6.0 * std::sin(i * 1.7));
    for (int i = 1; i <= 600; ++i)  // 5 m/s up to 3,220 m
        alt.push_back(220.0 + 5.0 * i);
    for (int i = 1; i <= 500; ++i)  // 6 m/s down to 220 m
        alt.push_back(3220.0 - 6.0 * i);
    for (int i = 0; i < 60; ++i)
        alt.push_back(220.0);
    PhaseDetector d;
    const std::vector<FlightPhase> p = feed(d, alt);
    EXPECT_EQ(p[59], FlightPhase::Unknown);
    // Ascent once 10 s of climb are measured.
    EXPECT_GE(firstOf(p, FlightPhase::Ascent), 60);
    EXPECT_LE(firstOf(p, FlightPhase::Ascent), 71);
    // Burst once the fall has lasted two 10 s stretches and passed 150 m (25 s at 6 m/s).
    const int burst = firstOf(p, FlightPhase::Burst);
    EXPECT_EQ(burst, 659 + 25);
    EXPECT_TRUE(d.burstSeen());
    EXPECT_EQ(d.highest().altitude, 3220.0);
    EXPECT_EQ(d.highest().timeS, 659.0);
    // Burst is shown until 60 s after the highest point, then Descent.
    EXPECT_EQ(firstOf(p, FlightPhase::Descent), 659 + 60);
    // Landed (at 1159) once the last 30 s moved less than 0.5 m/s: the last 2 s of the fall count.
    EXPECT_EQ(firstOf(p, FlightPhase::Landed), 1159 + 28);
    EXPECT_EQ(d.restingSinceS(), 1156.0);  // 18 m above the ground: within the 20 m of rest
    EXPECT_EQ(p.back(), FlightPhase::Landed);
}

TEST(FlightPhase, DowndraftDuringTheAscentIsNoBurst)
{
    std::vector<double> alt{1000.0};
    const auto move = [&alt](double rate, int seconds) {
        for (int i = 0; i < seconds; ++i)
            alt.push_back(alt.back() + rate);
    };
    move(5.0, 300);
    move(-3.0, 60);  // pushed down 180 m, but slower than a parachute
    move(5.0, 60);
    move(-6.0, 15);  // as fast as a parachute, but only 90 m
    move(5.0, 60);
    PhaseDetector d;
    const std::vector<FlightPhase> p = feed(d, alt);
    EXPECT_EQ(firstOf(p, FlightPhase::Burst), -1);
    EXPECT_EQ(p.back(), FlightPhase::Ascent);
}

TEST(FlightPhase, ReceptionBeginningInTheDescent)
{
    std::vector<double> alt;
    for (int i = 0; i < 100; ++i)
        alt.push_back(12000.0 - 12.0 * i);
    PhaseDetector d;
    const std::vector<FlightPhase> p = feed(d, alt, 5000.0);
    EXPECT_EQ(firstOf(p, FlightPhase::Descent), 10);
    EXPECT_EQ(firstOf(p, FlightPhase::Burst), -1);
    EXPECT_FALSE(d.burstSeen());
    d.reset();
    EXPECT_EQ(d.phase(), FlightPhase::Unknown);
}

TEST(FlightPhase, Names)
{
    EXPECT_STREQ(phaseName(FlightPhase::Burst), "burst");
    EXPECT_STREQ(phaseName(FlightPhase::Unknown), "unknown");
    EXPECT_STREQ(phaseLabel(FlightPhase::Landed), "Landed");
    EXPECT_STREQ(phaseLabel(FlightPhase::Ascent), "Ascent");
}

}  // namespace
