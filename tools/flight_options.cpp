#include "flight_options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "flight/local_plane.h"
#include "option_values.h"

namespace nimbra::synth {

const char* const kFlightUsage =
    "\n"
    "Realistic flight (instead of the straight drift of --duration seconds):\n"
    "  --flight                ascent, burst, parachute descent and landing in a wind that varies\n"
    "                          with altitude; the recording lasts until after the landing\n"
    "  --ascent-rate M/S       balloon ascent rate (default 5)\n"
    "  --burst-altitude M      burst altitude (default 30000)\n"
    "  --descent-rate M/S      parachute descent rate at sea level; it grows with altitude as the\n"
    "                          air thins (default 5)\n"
    "  --ground-altitude M     landing altitude (default: the station's)\n"
    "  --launch LAT,LON,ALT    launch site (default 150 m north and 250 m west of the station, at\n"
    "                          its altitude)\n"
    "  --after-landing S       seconds of fixes from the ground after the landing (default 60)\n"
    "  --wind-seed N           seed of the wind profile (default 1)\n"
    "  --wind-drift M/S        amplitude of the wind's change over hours (default 0: steady)\n"
    "  --wind-csv FILE         wind table altitude_m,east_mps,north_mps instead of the seeded profile\n"
    "  --flight-seed N         seed of gusts, swing, GPS scatter and the air's density (default 1)\n"
    "  --landing FILE          write the true burst and landing (time, counter, position) as CSV\n"
    "  --duration N            with --flight: end the recording after N seconds of flight\n"
    "Staged faults (seconds since launch; each may be given more than once):\n"
    "  --gap T:S               no signal from second T for S seconds\n"
    "  --inject-position T:M   the block at second T (good checksum) reports a position M metres off\n"
    "  --inject-counter T:D    the block at second T (good checksum) carries its counter plus D\n"
    "  --id-change T:HEX       from second T on the blocks carry the identifier HEX\n";

namespace {

// "T:VALUE" with T in seconds of flight.
std::pair<double, std::string> splitPair(const std::string& option, const char* text)
{
    const char* colon = std::strchr(text, ':');
    if (!colon)
        fail(option + ": expected SECOND:VALUE, got '" + text + "'");
    const std::string second(text, colon);
    return {parseNumber(option, second.c_str(), 0.0, 1e6), std::string(colon + 1)};
}

bool anyFault(const FlightFaults& f)
{
    return !f.gaps.empty() || !f.displaced.empty() || !f.wrongCounters.empty() || !f.identifiers.empty();
}

}  // namespace

bool takeFlightOption(const std::string& arg, const std::function<const char*()>& value, FlightModelOptions& m)
{
    TrajectorySettings& t = m.trajectory;
    if (arg == "--flight") {
        m.enabled = true;
    } else if (arg == "--ascent-rate") {
        t.ascentRateMps = parseNumber(arg, value(), 0.5, 50.0);
    } else if (arg == "--burst-altitude") {
        t.burstAltitudeM = parseNumber(arg, value(), 100.0, 50000.0);
    } else if (arg == "--descent-rate") {
        t.descentRateMps = parseNumber(arg, value(), 0.5, 50.0);
    } else if (arg == "--ground-altitude") {
        t.groundAltitudeM = parseNumber(arg, value(), -500.0, 9000.0);
        m.groundGiven = true;
    } else if (arg == "--launch") {
        const Position p = parsePosition(arg, value(), -500.0, 9000.0);
        t.launchLatitude = p.latitude;
        t.launchLongitude = p.longitude;
        t.launchAltitudeM = p.altitude;
        m.launchGiven = true;
    } else if (arg == "--after-landing") {
        t.afterLandingS = parseNumber(arg, value(), 0.0, 36000.0);
    } else if (arg == "--wind-seed") {
        m.windSeed = static_cast<std::uint64_t>(parseInteger(arg, value(), 0, 0x7FFFFFFF));
    } else if (arg == "--wind-drift") {
        m.windDriftMps = parseNumber(arg, value(), 0.0, 30.0);
    } else if (arg == "--wind-csv") {
        m.windCsv = value();
    } else if (arg == "--flight-seed") {
        t.seed = static_cast<std::uint64_t>(parseInteger(arg, value(), 0, 0x7FFFFFFF));
    } else if (arg == "--landing") {
        m.landingPath = value();
    } else if (arg == "--gap") {
        const auto [at, length] = splitPair(arg, value());
        m.faults.gaps.push_back({at, parseNumber(arg, length.c_str(), 1.0, 1e6)});
    } else if (arg == "--inject-position") {
        const auto [at, metres] = splitPair(arg, value());
        m.faults.displaced.push_back({at, parseNumber(arg, metres.c_str(), -1e7, 1e7)});
    } else if (arg == "--inject-counter") {
        const auto [at, delta] = splitPair(arg, value());
        const long d = parseInteger(arg, delta.c_str(), -65535, 65535);
        if (d == 0)
            fail(arg + ": a counter off by 0 is no fault");
        m.faults.wrongCounters.push_back({at, static_cast<int>(d)});
    } else if (arg == "--id-change") {
        const auto [at, id] = splitPair(arg, value());
        m.faults.identifiers.push_back({at, static_cast<std::uint16_t>(parseInteger(arg, id.c_str(), 0, 0xFFFF, 16))});
    } else {
        return false;
    }
    return true;
}

void planFlight(FlightModelOptions& m, FlightSettings& flight, int durationS, Trajectory& trajectory)
{
    if (!m.enabled) {
        if (anyFault(m.faults) || !m.landingPath.empty())
            fail("--gap, --inject-position, --inject-counter, --id-change and --landing need --flight");
        return;
    }
    TrajectorySettings& t = m.trajectory;
    if (!m.launchGiven) {
        t.launchLatitude = flight.stationLat;
        t.launchLongitude = flight.stationLon;
        nimbra::flight::moveBy(t.launchLatitude, t.launchLongitude, flight.launchEastM, flight.launchNorthM);
        t.launchAltitudeM = flight.stationAlt;
    }
    if (!m.groundGiven)
        t.groundAltitudeM = flight.stationAlt;
    if (!(t.burstAltitudeM > t.launchAltitudeM) || !(t.burstAltitudeM > t.groundAltitudeM))
        fail("--burst-altitude must lie above the launch and the ground altitude");
    WindField wind = WindField::seeded(m.windSeed, m.windDriftMps);
    std::string error;
    if (!m.windCsv.empty() && !WindField::fromCsv(m.windCsv, wind, error))
        fail(error);
    trajectory = flyTrajectory(t, wind);
    if (durationS > 0 && trajectory.points.size() > static_cast<std::size_t>(durationS))
        trajectory.points.resize(static_cast<std::size_t>(durationS));
    flight.plan = planBlocks(trajectory, flight.transmitterId, flight.firstCounter, m.faults);
    flight.gpsBlocks = static_cast<int>(flight.plan.size());
}

bool writeLandingCsv(const std::string& path, const Trajectory& trajectory, const FlightSettings& flight,
                     std::string& error)
{
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::fprintf(f, "event,time_s,counter,lat_deg,lon_deg,alt_m\n");
    const auto row = [&](const char* name, const TrajectoryPoint& p) {
        std::fprintf(f, "%s,%.3f,%.3f,%.7f,%.7f,%.1f\n", name, flight.leadInS + flight.gpsOffsetS + p.timeS,
                     flight.firstCounter + p.timeS, p.latitude, p.longitude, p.altitude);
    };
    row("burst", trajectory.burst);
    row("landing", trajectory.landing);
    if (std::fclose(f) != 0) {
        error = path + ": write failed";
        return false;
    }
    return true;
}

}  // namespace nimbra::synth
