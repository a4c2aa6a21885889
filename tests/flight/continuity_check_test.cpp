// The continuity check: which fixes are trusted, and why not. Fixes come from a sonde moving in
// a straight line (east 20 m/s, up 5 m/s), one a second, with the faults a corrupted block with
// a good checksum brings: a wrong identifier, counter or position, and repeats, gaps and a new
// sonde on the channel.
#include <gtest/gtest.h>

#include <vector>

#include "flight/continuity_check.h"
#include "flight/local_plane.h"

namespace {

using namespace nimbra;
using namespace nimbra::flight;

constexpr double kLat = 39.75;
constexpr double kLon = -76.98;

// The sonde at second i of the track (counter 1000 + i, sample time 0.7 + i).
FixSample at(double i, unsigned id = 0x1A2B, double eastMps = 20.0, double upMps = 5.0)
{
    FixSample f;
    f.transmitterId = id;
    f.timeCounter = static_cast<unsigned>(1000 + static_cast<long>(i)) & 0xFFFFu;
    f.latitude = kLat;
    f.longitude = kLon;
    moveBy(f.latitude, f.longitude, eastMps * i, 0.0);
    f.altitude = 1000.0 + upMps * i;
    f.timeS = 0.7 + i;
    return f;
}

FixSample displaced(FixSample f, double eastM, double northM = 0.0, double upM = 0.0)
{
    moveBy(f.latitude, f.longitude, eastM, northM);
    f.altitude += upM;
    return f;
}

// Runs seconds [from, to) through the check; the fixes must all be trusted.
void trustedRun(ContinuityCheck& c, int from, int to)
{
    for (int i = from; i < to; ++i)
        EXPECT_TRUE(c.check(at(i)).trusted) << i;
}

TEST(ContinuityCheck, AFlightIsPickedUpByThreeAgreeingFixes)
{
    ContinuityCheck c;
    ContinuityVerdict v = c.check(at(0));
    EXPECT_FALSE(v.trusted);
    EXPECT_EQ(v.check, FixCheck::Acquiring);
    EXPECT_FALSE(c.check(at(1)).trusted);
    v = c.check(at(2));
    EXPECT_TRUE(v.trusted);
    EXPECT_TRUE(v.flightStarted);
    EXPECT_EQ(c.flightId(), 0x1A2Bu);
    trustedRun(c, 3, 100);
    // Missed blocks: the counter still agrees with the time.
    EXPECT_TRUE(c.check(at(107)).trusted);
    EXPECT_FALSE(c.check(at(120)).flightStarted);
}

TEST(ContinuityCheck, CounterMustFollowTheTime)
{
    ContinuityCheck c;
    for (int i = 0; i < 21; ++i)
        c.check(at(i));
    // Counter one ahead and one behind: its lowest bit flipped.
    for (int delta : {1, -1, 256, 4096}) {
        FixSample f = at(21);
        f.timeCounter = (f.timeCounter + static_cast<unsigned>(delta)) & 0xFFFFu;
        const ContinuityVerdict v = c.check(f);
        EXPECT_FALSE(v.trusted) << delta;
        EXPECT_EQ(v.check, FixCheck::Counter) << delta;
    }
    // The sample time may lag or lead the counter by under half a second (block length, latency)
    // plus 0.2 % of the time between the fixes (sound-card clock).
    FixSample late = at(21);
    late.timeS += 0.45;
    EXPECT_TRUE(c.check(late).trusted);
    FixSample early = at(22);
    early.timeS -= 0.1;  // 0.55 s early against the last one
    EXPECT_EQ(c.check(early).check, FixCheck::Counter);
    FixSample afterFade = at(69);  // 48.59 s after the last: tolerance 0.5 + 0.097 s
    afterFade.timeS += 0.45 + 0.59;
    EXPECT_TRUE(c.check(afterFade).trusted);
}

TEST(ContinuityCheck, RepeatsAndConflictingCopies)
{
    ContinuityCheck c;
    for (int i = 0; i < 10; ++i)
        c.check(at(i));
    FixSample again = at(9);
    again.timeS += 0.2;  // the same block decoded twice
    EXPECT_EQ(c.check(again).check, FixCheck::Duplicate);
    EXPECT_EQ(c.check(displaced(again, 30.0)).check, FixCheck::Counter);  // same counter, elsewhere
    EXPECT_TRUE(c.check(at(10)).trusted);
}

TEST(ContinuityCheck, MovesASondeCannotMake)
{
    ContinuityCheck c;
    for (int i = 0; i < 30; ++i)
        c.check(at(i));
    // Too fast: 2 km in a second; 120 m/s up.
    EXPECT_EQ(c.check(displaced(at(30), 2000.0)).check, FixCheck::Motion);
    EXPECT_EQ(c.check(displaced(at(30), 0.0, 0.0, 115.0)).check, FixCheck::Motion);
    // Possible speeds, but far from where the motion so far leads: caught beyond the allowance
    // of 50 m + 5 m/s x dt + a dt^2 / 2 (55 + 1 horizontally, 55 + 10 vertically at 1 s).
    EXPECT_EQ(c.check(displaced(at(30), 0.0, 70.0)).check, FixCheck::Motion);
    EXPECT_EQ(c.check(displaced(at(30), 0.0, 0.0, -75.0)).check, FixCheck::Motion);
    // GPS scatter and a swing within the allowance pass.
    EXPECT_TRUE(c.check(displaced(at(30), 25.0, -20.0, 30.0)).trusted);
    EXPECT_TRUE(c.check(at(31)).trusted);
    // Ten seconds later the allowance is 50 + 50 + 100 m horizontally: 400 m off is caught.
    EXPECT_EQ(c.check(displaced(at(41), 0.0, 400.0)).check, FixCheck::Motion);
    EXPECT_TRUE(c.check(at(42)).trusted);
}

TEST(ContinuityCheck, FastButSteadyFlightIsTrusted)
{
    // A parachute falling 60 m/s through a 110 m/s jet stream.
    ContinuityCheck c;
    for (int i = 0; i < 60; ++i) {
        FixSample f = at(i, 0x1A2B, 110.0, -60.0);
        f.altitude += 30000.0;
        const ContinuityVerdict v = c.check(f);
        EXPECT_EQ(v.trusted, i >= 2) << i;
    }
}

TEST(ContinuityCheck, AfterAGapThreeAgreeingFixesPickTheFlightUpAgain)
{
    ContinuityCheck c;
    for (int i = 0; i < 60; ++i)
        c.check(at(i));
    // Ten minutes without signal; the sonde drifted on.
    ContinuityVerdict v = c.check(at(660));
    EXPECT_FALSE(v.trusted);
    EXPECT_EQ(v.check, FixCheck::Acquiring);
    // A corrupted block among the first after the gap starts a chain of its own.
    EXPECT_FALSE(c.check(displaced(at(661), 3000.0)).trusted);
    EXPECT_FALSE(c.check(at(662)).trusted);
    v = c.check(at(663));
    EXPECT_TRUE(v.trusted);
    EXPECT_FALSE(v.flightStarted);  // the same flight
    trustedRun(c, 664, 700);
}

TEST(ContinuityCheck, ANewIdentifierTakesOver)
{
    ContinuityCheck c;
    for (int i = 0; i < 30; ++i)
        c.check(at(i));
    // A block whose identifier is corrupted is not the flight's.
    EXPECT_EQ(c.check(at(30, 0x1A2A)).check, FixCheck::Identifier);
    EXPECT_TRUE(c.check(at(31)).trusted);
    // Another sonde, elsewhere, with its own counter: three of its fixes take over.
    const auto other = [](int i) {
        FixSample f = displaced(at(i, 0x0C0F, -8.0, 6.0), 40000.0, 10000.0);
        f.timeCounter = (f.timeCounter + 30000u) & 0xFFFFu;
        return f;
    };
    EXPECT_EQ(c.check(other(32)).check, FixCheck::Identifier);
    EXPECT_EQ(c.check(other(33)).check, FixCheck::Identifier);
    const ContinuityVerdict v = c.check(other(34));
    EXPECT_TRUE(v.trusted);
    EXPECT_TRUE(v.flightStarted);
    EXPECT_EQ(c.flightId(), 0x0C0Fu);
    EXPECT_EQ(c.check(at(35)).check, FixCheck::Identifier);  // the old one is now the stranger
    EXPECT_TRUE(c.check(other(36)).trusted);
}

TEST(ContinuityCheck, AWrongReferenceIsReplaced)
{
    // The trusted track jumps for good (a reference that was itself wrong, or a GPS restart):
    // three agreeing fixes of the new track take over even though the old one is recent.
    ContinuityCheck c;
    for (int i = 0; i < 20; ++i)
        c.check(at(i));
    EXPECT_EQ(c.check(displaced(at(20), 5000.0)).check, FixCheck::Motion);
    EXPECT_EQ(c.check(displaced(at(21), 5000.0)).check, FixCheck::Motion);
    EXPECT_TRUE(c.check(displaced(at(22), 5000.0)).trusted);
    EXPECT_TRUE(c.check(displaced(at(23), 5000.0)).trusted);
}

TEST(ContinuityCheck, CounterWrapsAndTimeNeverRunsBack)
{
    ContinuityCheck c;
    for (int i = 64530; i < 64540; ++i)  // counters 65530 .. 65539, wrapping to 0 .. 3
        EXPECT_EQ(c.check(at(i)).trusted, i >= 64532) << i;
    FixSample back = at(64541);
    back.timeS -= 100.0;  // the caller's clock stepped back
    EXPECT_EQ(c.check(back).check, FixCheck::Counter);
    c.reset();
    EXPECT_FALSE(c.hasFlight());
    EXPECT_EQ(c.check(at(5)).check, FixCheck::Acquiring);
}

TEST(ContinuityCheck, CheckNames)
{
    EXPECT_STREQ(fixCheckName(FixCheck::Trusted), "trusted");
    EXPECT_STREQ(fixCheckName(FixCheck::Motion), "motion");
    EXPECT_STREQ(fixCheckName(FixCheck::Unchecked), "unchecked");
}

}  // namespace
