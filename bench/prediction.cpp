// prediction: how close the landing prediction comes, over seeded synthetic flights flown
// without audio through the same FlightTracker as nimbra-decode; writes docs/prediction.md and
// docs/prediction.png.
//
// In:  options (see usage()); the flights are fixed by their seeds.
// Out: the Markdown page with the figures against the targets, the PNG plot (drawn by gnuplot),
//      progress on stderr.
//
// Each flight: a seeded wind profile, ascent rate, burst altitude, parachute, launch altitude and
// atmosphere (tools/synth/trajectory.h), one fix a second with a tenth of them lost at random,
// as the decoder would report them. The tracker gets the ground altitude right (the station's
// altitude is the user's to set) and, before the burst, a burst altitude setting: 30,000 m, or
// the true one plus an error for the table of that dependence.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "flight/flight_tracker.h"
#include "flight/local_plane.h"
#include "synth/fix_sequence.h"
#include "synth/flight_plan.h"
#include "synth/random.h"
#include "synth/trajectory.h"
#include "synth/wind_field.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbra;
using namespace nimbra::synth;

constexpr std::int64_t kStartMs = 1796537865000;  // 2026-12-06T06:17:45Z
constexpr double kLoss = 0.1;
constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
constexpr double kHeightStepM = 500.0;             // the plot's resolution along the descent
const double kBurstErrorsM[] = {-5000.0, -2000.0, 0.0, 2000.0, 5000.0};
constexpr int kBurstErrors = sizeof kBurstErrorsM / sizeof kBurstErrorsM[0];

struct Options {
    int flights = 100;
    std::string outDir = "docs";
    int jobs = 1;
    bool plot = true;
};

void usage()
{
    std::fprintf(stderr, "usage: prediction [--flights N] [--out DIR] [--jobs N] [--no-plot]\n"
                         "Writes DIR/prediction.md and DIR/prediction.png (default DIR: docs).\n");
}

bool parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--flights" && hasValue)
            o.flights = std::atoi(argv[++i]);
        else if (a == "--out" && hasValue)
            o.outDir = argv[++i];
        else if (a == "--jobs" && hasValue)
            o.jobs = std::atoi(argv[++i]);
        else if (a == "--no-plot")
            o.plot = false;
        else if (a == "--help") {
            usage();
            std::exit(0);
        }
        else
            return false;
    }
    return o.flights > 0 && o.jobs > 0;
}

// ---- One flight --------------------------------------------------------------------------------

struct Case {
    int index = 0;
    TrajectorySettings trajectory;
    std::uint64_t windSeed = 1;
    double windDriftMps = 0.0;
};

Case makeCase(int index, double driftMps)
{
    Random r(static_cast<std::uint64_t>(index) * 7919u + 17u);
    Case c;
    c.index = index;
    TrajectorySettings& t = c.trajectory;
    t.launchAltitudeM = 800.0 * r.uniform();
    t.groundAltitudeM = t.launchAltitudeM;
    t.ascentRateMps = 4.0 + 3.0 * r.uniform();
    t.burstAltitudeM = 18000.0 + 15000.0 * r.uniform();
    t.descentRateMps = 4.0 + 2.5 * r.uniform();
    t.afterLandingS = 0.0;
    t.seed = static_cast<std::uint64_t>(index) + 1000u;
    c.windSeed = static_cast<std::uint64_t>(index) + 1u;
    c.windDriftMps = driftMps;
    return c;
}

// Predicted-to-true landing distance (m), NaN where the point was not reached or nothing was
// predicted.
struct Outcome {
    double top = kNone;        // last fix before the burst, burst setting 30,000 m, v0 5 m/s
    double detected = kNone;   // first fix the tracker calls Burst
    double at10km = kNone;     // descending through 10 km above the ground
    double at3km = kNone;
    std::vector<double> byHeight;          // descending through k x kHeightStepM above the ground
    double ascent10km[kBurstErrors];       // ascending through 10 km above the ground, setting = true + error
    double below2km[kBurstErrors];         // ascending through 2 km below the burst, setting = true + error
    double topWithError[kBurstErrors];     // last fix before the burst, setting = true + error
    double burstAltitudeM = 0.0;
    double trueV0 = 0.0;
    double fittedV0AtDetection = kNone;
};

double missM(const LandingPrediction& p, const TrajectoryPoint& truth)
{
    if (!p.valid)
        return kNone;
    return flight::lengthOf(flight::offsetBetween(truth.latitude, truth.longitude, p.landing.latitude, p.landing.longitude));
}

flight::TrackerSettings trackerFor(const Case& c, double burstSettingM)
{
    flight::TrackerSettings s;
    s.groundAltitudeM = c.trajectory.groundAltitudeM;
    s.burstAltitudeM = burstSettingM;
    return s;
}

Outcome runCase(const Case& c)
{
    const WindField wind = WindField::seeded(c.windSeed, c.windDriftMps);
    const Trajectory trajectory = flyTrajectory(c.trajectory, wind);
    const std::vector<PlannedBlock> plan = planBlocks(trajectory, 0x1A2B, 1200);
    const std::vector<TimedFix> fixes = fixSequence(plan, kStartMs, 0.9, kLoss, static_cast<std::uint64_t>(c.index) + 1u);
    const TrajectoryPoint& landing = trajectory.landing;
    const double ground = c.trajectory.groundAltitudeM;
    const double burstT = trajectory.burst.timeS;

    Outcome out;
    out.burstAltitudeM = trajectory.burst.altitude;
    out.trueV0 = c.trajectory.descentRateMps;
    const int heights = static_cast<int>((trajectory.burst.altitude - ground) / kHeightStepM);
    out.byHeight.assign(static_cast<std::size_t>(std::max(heights, 0)) + 1, kNone);

    // The whole flight with the default burst setting.
    flight::FlightTracker tracker(trackerFor(c, 30000.0));
    for (const TimedFix& f : fixes) {
        const FlightFix x = tracker.track(f.record, std::string(), f.timeS);
        const double flightS = f.timeS - 0.9;
        const double height = static_cast<double>(f.record.altitude) - ground;
        if (flightS < burstT)
            out.top = missM(x.prediction, landing);
        if (!x.trusted || flightS < burstT)
            continue;
        const bool falling = x.phase == FlightPhase::Burst || x.phase == FlightPhase::Descent;
        if (x.phase == FlightPhase::Burst && std::isnan(out.detected)) {
            out.detected = missM(x.prediction, landing);
            out.fittedV0AtDetection = x.prediction.descentRateMps;
        }
        if (!falling)
            continue;
        if (height <= 10000.0 && std::isnan(out.at10km))
            out.at10km = missM(x.prediction, landing);
        if (height <= 3000.0 && std::isnan(out.at3km))
            out.at3km = missM(x.prediction, landing);
        for (std::size_t k = 0; k < out.byHeight.size(); ++k)
            if (height <= k * kHeightStepM && std::isnan(out.byHeight[k]))
                out.byHeight[k] = missM(x.prediction, landing);
    }
    // The ascent again with a burst setting off by a known error.
    for (int e = 0; e < kBurstErrors; ++e) {
        out.ascent10km[e] = out.below2km[e] = out.topWithError[e] = kNone;
        flight::FlightTracker t(trackerFor(c, trajectory.burst.altitude + kBurstErrorsM[e]));
        for (const TimedFix& f : fixes) {
            if (f.timeS - 0.9 >= burstT)
                break;
            const FlightFix x = t.track(f.record, std::string(), f.timeS);
            const double altitude = static_cast<double>(f.record.altitude);
            if (x.trusted && altitude - ground >= 10000.0 && std::isnan(out.ascent10km[e]))
                out.ascent10km[e] = missM(x.prediction, landing);
            if (x.trusted && altitude >= trajectory.burst.altitude - 2000.0 && std::isnan(out.below2km[e]))
                out.below2km[e] = missM(x.prediction, landing);
            out.topWithError[e] = missM(x.prediction, landing);
        }
    }
    return out;
}

std::vector<Outcome> runAll(const std::vector<Case>& cases, int jobs, const char* label)
{
    std::vector<Outcome> out(cases.size());
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> done{0};
    auto worker = [&] {
        for (std::size_t i; (i = next++) < cases.size();) {
            out[i] = runCase(cases[i]);
            const std::size_t n = ++done;
            if (n % 10 == 0 || n == cases.size())
                std::fprintf(stderr, "prediction: %s: %zu of %zu flights\n", label, n, cases.size());
        }
    };
    std::vector<std::thread> threads;
    for (int j = 1; j < jobs; ++j)
        threads.emplace_back(worker);
    worker();
    for (auto& t : threads)
        t.join();
    return out;
}

// ---- Statistics ----------------------------------------------------------------------------

struct Stats {
    int count = 0;
    double median = kNone;
    double p90 = kNone;
};

// Percentiles by linear interpolation between order statistics; NaN values (points not reached)
// are left out and counted apart.
Stats statsOf(std::vector<double> v)
{
    v.erase(std::remove_if(v.begin(), v.end(), [](double x) { return std::isnan(x); }), v.end());
    Stats s;
    s.count = static_cast<int>(v.size());
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    const auto at = [&](double q) {
        const double pos = q * static_cast<double>(v.size() - 1);
        const auto i = static_cast<std::size_t>(pos);
        const double f = pos - static_cast<double>(i);
        return i + 1 < v.size() ? v[i] + f * (v[i + 1] - v[i]) : v[i];
    };
    s.median = at(0.5);
    s.p90 = at(0.9);
    return s;
}

template <typename Get>
Stats collect(const std::vector<Outcome>& outcomes, Get get)
{
    std::vector<double> v;
    for (const Outcome& o : outcomes)
        v.push_back(get(o));
    return statsOf(v);
}

std::string km(double metres)
{
    char buf[32];
    if (std::isnan(metres))
        return "-";
    std::snprintf(buf, sizeof buf, metres < 10000.0 ? "%.2f" : "%.1f", metres / 1000.0);
    return buf;
}

std::string verdict(double value, double target) { return value <= target ? "met" : "**not met**"; }

// ---- Page and plot -----------------------------------------------------------------------------

bool plot(const fs::path& dir, const std::vector<Outcome>& steady, const std::vector<Outcome>& drifting)
{
    const fs::path data = dir / "prediction.dat";
    double highestKm = 0.0;
    {
        std::ofstream d(data);
        d << "# height_km steady_median_km steady_p90_km drifting_median_km drifting_p90_km\n";
        std::size_t heights = 0;
        for (const Outcome& o : steady)
            heights = std::max(heights, o.byHeight.size());
        // From 500 m above the ground (the fixes end at the landing) to the highest bursts that
        // ten flights still reach.
        for (std::size_t k = 1; k < heights; ++k) {
            const auto at = [k](const Outcome& o) { return k < o.byHeight.size() ? o.byHeight[k] : kNone; };
            const Stats a = collect(steady, at);
            const Stats b = collect(drifting, at);
            if (a.count < 10 || b.count < 10)
                break;
            highestKm = static_cast<double>(k) * kHeightStepM / 1000.0;
            d << highestKm << " " << a.median / 1000.0 << " " << a.p90 / 1000.0 << " " << b.median / 1000.0 << " "
              << b.p90 / 1000.0 << "\n";
        }
    }
    const fs::path script = dir / "prediction.gp";
    {
        std::ofstream g(script);
        g << "set terminal pngcairo noenhanced size 1000,560 font 'sans,10'\n"
          << "set output '" << (dir / "prediction.png").string() << "'\n"
          << "set title 'Predicted against true landing, during the descent'\n"
          << "set grid\nset key top right\nset logscale y\nset xrange [" << highestKm << ":0]\n"
          << "set format y '%g'\n"
          << "set xlabel 'height of the sonde above the ground (km), falling'\n"
          << "set ylabel 'distance to the true landing (km)'\n"
          << "plot '" << data.string() << "' using 1:2 with lines lw 2 lc rgb '#0072b2' title 'steady wind, median', "
          << "'' using 1:3 with lines lw 2 dt 2 lc rgb '#0072b2' title 'steady wind, 90th percentile', "
          << "'' using 1:4 with lines lw 2 lc rgb '#d55e00' title 'wind changing by 2 m/s over hours, median', "
          << "'' using 1:5 with lines lw 2 dt 2 lc rgb '#d55e00' title 'wind changing by 2 m/s over hours, 90th percentile', "
          << "0.25 with lines lw 1 dt 3 lc rgb 'black' title 'target 250 m (at 3 km)', "
          << "1 with lines lw 1 dt 4 lc rgb 'gray40' title 'target 1 km (at burst)'\n";
    }
    const std::string cmd = "gnuplot '" + script.string() + "'";
    const bool ok = std::system(cmd.c_str()) == 0;
    fs::remove(script);
    fs::remove(data);
    return ok;
}

// What the page says of the tracker itself: the same choices as the headers in flight/.
void writeHowItWorks(std::ofstream& f)
{
    f << "## How the prediction is made\n\n"
      << "Everything comes from the sonde's own fixes; nothing is downloaded.\n\n"
      << "- **Winds** (flight/wind_profile.h): the sonde drifts with the air, so its horizontal "
         "velocity, measured over about 10 s of trusted fixes (enough to average its swing on the "
         "line) and at most one band of altitude, is the wind. Bands of 250 m each hold the mean "
         "of their newest 30 samples; a later pass through a band (the descent through a band "
         "measured on the way up) takes over within a few samples. Between band centres the wind "
         "is linear, above the highest band it is the highest band's.\n"
      << "- **Ascent**: until the burst the prediction climbs at the mean ascent rate of the last "
         "10 minutes (the setting, 5 m/s, until 20 s of climb are measured) to the burst altitude "
         "setting (default 30,000 m; at once if the sonde is already higher).\n"
      << "- **Descent**: v(h) = v0 x sqrt(rho(0)/rho(h)), rho from the 1976 standard atmosphere "
         "(flight/atmosphere.h). Before the burst v0 is the setting (5 m/s). After it, v0 is "
         "fitted (flight/vertical_rates.h): each stretch of fall of at least 10 s and 300 m gives "
         "the sea-level rate of its newer half; stretches whose halves disagree by 10 % or more "
         "(the sonde still settling on its speed) do not count, steadier ones the more the better "
         "their halves agree, and the weights halve every 2 minutes so that the fit follows the "
         "lower, denser air the sonde is still to fall through.\n"
      << "- **Ground**: the fall ends at the ground altitude setting (nimbra-decode: the station's "
         "altitude unless --ground-altitude says otherwise).\n"
      << "- **Phases** (flight/flight_phase.h): Ascent when climbing faster than 1.5 m/s over "
         "10 s; Burst when at least 150 m below the highest point and falling faster than 4 m/s "
         "over each of the last two 10 s stretches; Descent from 60 s after the highest point; "
         "Landed when the altitude changed by less than 0.5 m/s over 30 s. The landing then stays "
         "where the sonde came to rest.\n\n"
      << "## Which fixes are trusted\n\n"
      << "A 16-bit checksum lets about one corrupted block in 65,536 through; on a weak signal "
         "that is a wrong fix every few hours. The prediction, the track files and the network "
         "outputs take only fixes that continue the flight (flight/continuity_check.h); the "
         "decoded-text lines and record files show every fix with a good checksum, and "
         "`--trust off` turns the check off. Each fix is held against the last trusted one:\n\n"
      << "| rule | limit | why |\n|---|---|---|\n"
      << "| identifier | the flight's | a corrupted identifier is another sonde's |\n"
      << "| time counter | advances by the time between the fixes within 0.5 s + 0.2 % | the time "
         "is the recording's sample time (also live): between blocks it moves by the counter's "
         "seconds plus at most 0.27 s of block-length change (0 to 20 satellites) and a few ms of "
         "demodulator latency; under 1 s, so a counter off by one is caught. 0.2 % covers a sound "
         "card's clock (100-300 ppm) and more (a sonde 1,603 ppm fast) |\n"
      << "| horizontal speed | 200 m/s | twice the strongest jet-stream winds measured (110 m/s) |\n"
      << "| vertical speed | 100 m/s | a parachute at 35 km falls 12 times its sea-level rate "
         "(60 m/s for 5 m/s) |\n"
      << "| motion | within 50 m + 5 m/s x dt + a dt^2/2 of where the last 10 s of motion lead; "
         "a = 2 m/s^2 horizontally, 20 m/s^2 vertically | 50 m: a GPS receiver's own jumps and the "
         "sonde's swing; 5 m/s: the error of the measured velocity; 2 m/s^2: wind shear met by a "
         "parachute falling 50 m/s through a jet stream; 20 m/s^2: a burst turns +5 into -50 m/s "
         "in a few seconds. At 1 s a fix 60 m off is caught, at 10 s one 200 m off |\n"
      << "| repeats | a fix with the last trusted fix's counter is not trusted again | the same "
         "block decoded twice, or a second, conflicting copy of it |\n"
      << "| picking up | 3 fixes that agree with one another by the same rules, each within 60 s "
         "of the one before | the first fixes of a flight, a new identifier, after a gap longer "
         "than 60 s (then the motion allowance is too wide to vouch for a fix), or when the "
         "trusted track itself was wrong. Two agreeing fixes could be a wrong one and a real one "
         "within the allowance; three are not produced by chance |\n\n"
      << "A verdict is never changed afterwards: the first two fixes of a chain stay untrusted in "
         "CSV and JSON and stay out of the track files.\n\n";
}

void writePage(const fs::path& md, const Options& o, const std::vector<Case>& cases,
               const std::vector<Outcome>& steady, const std::vector<Outcome>& drifting, double seconds)
{
    std::ofstream f(md);
    const Stats burst = collect(steady, [](const Outcome& x) { return x.detected; });
    const Stats at10 = collect(steady, [](const Outcome& x) { return x.at10km; });
    const Stats at3 = collect(steady, [](const Outcome& x) { return x.at3km; });
    const Stats top = collect(steady, [](const Outcome& x) { return x.top; });
    f << "# Landing prediction\n\n"
      << "How close Nimbra's landing prediction comes to where the sonde really lands, from the "
         "sonde's own winds and without any weather data. Made by `scripts/prediction.sh` (the "
         "`prediction` program in `bench/`); every figure below comes from its last run ("
      << o.flights << " flights, " << static_cast<int>(seconds + 0.5) << " s).\n\n"
      << "![Distance between predicted and true landing during the descent](prediction.png)\n\n"
      << "## Against the targets\n\n"
      << "| when | flights | median | 90th percentile | target | |\n|---|---|---|---|---|---|\n"
      << "| at burst (the fix that confirms it) | " << burst.count << " | " << km(burst.median) << " km | "
      << km(burst.p90) << " km | median <= 1 km, 90th percentile <= 3 km | "
      << verdict(std::max(burst.median / 1000.0, burst.p90 / 3000.0), 1.0) << " |\n"
      << "| 10 km above the ground, falling | " << at10.count << " | " << km(at10.median) << " km | "
      << km(at10.p90) << " km | | |\n"
      << "| 3 km above the ground, falling | " << at3.count << " | " << km(at3.median) << " km | "
      << km(at3.p90) << " km | median <= 250 m | " << verdict(at3.median, 250.0) << " |\n\n";

    const Stats dBurst = collect(drifting, [](const Outcome& x) { return x.detected; });
    const Stats d10 = collect(drifting, [](const Outcome& x) { return x.at10km; });
    const Stats d3 = collect(drifting, [](const Outcome& x) { return x.at3km; });
    f << "The same flights in a wind that changes with time (each component carries 2 m/s "
         "amplitude that varies over 3 to 8 hours, so the descent meets a wind that differs from "
         "the one measured on the way up):\n\n"
      << "| when | median | 90th percentile |\n|---|---|---|\n"
      << "| at burst | " << km(dBurst.median) << " km | " << km(dBurst.p90) << " km |\n"
      << "| 10 km above the ground | " << km(d10.median) << " km | " << km(d10.p90) << " km |\n"
      << "| 3 km above the ground | " << km(d3.median) << " km | " << km(d3.p90) << " km |\n\n";

    f << "## Before the burst\n\n"
      << "Until the burst the prediction climbs at the measured mean ascent rate to the burst "
         "altitude setting and falls from there at the descent rate setting (5 m/s at sea level), "
         "in winds measured only up to the sonde's altitude: above it, the highest band's wind "
         "stands in. Two of these it cannot know yet: the burst altitude, which is the user's "
         "setting, and the winds still to come. The same flights with the setting off by a known "
         "amount:\n\n"
      << "| burst altitude setting | 10 km above the ground, rising | 2 km below the burst | just "
         "before the burst |\n|---|---|---|---|\n";
    const auto cell = [](const Stats& s) { return km(s.median) + " / " + km(s.p90) + " km"; };
    for (int e = 0; e < kBurstErrors; ++e) {
        const Stats a = collect(steady, [e](const Outcome& x) { return x.ascent10km[e]; });
        const Stats b = collect(steady, [e](const Outcome& x) { return x.below2km[e]; });
        const Stats c = collect(steady, [e](const Outcome& x) { return x.topWithError[e]; });
        char label[64];
        std::snprintf(label, sizeof label, e == 2 ? "the true burst altitude" : "true %+.0f m", kBurstErrorsM[e]);
        f << "| " << label << " | " << cell(a) << " | " << cell(b) << " | " << cell(c) << " |\n";
    }
    f << "| 30,000 m (the default; true bursts 18-33 km) | | | " << cell(top) << " |\n\n"
      << "Each cell: median / 90th percentile of the distance between predicted and true landing. "
         "At 10 km the error is mostly the wind still to come: above the highest measured band the "
         "prediction can only carry on with the highest wind measured, and at 10 km that is often "
         "the jet stream's core, carried on up to the burst: there a setting that is too low even "
         "helps, as it cuts that short. Closer to the burst the winds are mostly known and the "
         "setting decides: each kilometre it is too high adds the climb and the fall through that "
         "kilometre in the strongest winds measured; a setting already below the sonde's altitude "
         "makes the prediction burst at once, too early by whatever climb remains. "
      << "Just before the burst a setting below the true burst altitude costs nothing (once the "
         "sonde is above the setting the prediction bursts at once), a setting above it adds the "
         "climb and fall through the difference. What remains is the descent rate setting against "
         "the parachute's true rate (4 to 6.5 m/s here): the fall lasts (5 m/s / true rate) times "
         "as long as predicted. After the burst the rate is measured from the fall itself, which "
         "is why the error drops at the burst.\n\n";

    writeHowItWorks(f);

    // The flights.
    double minBurst = 1e9, maxBurst = 0.0;
    for (const Outcome& x : steady) {
        minBurst = std::min(minBurst, x.burstAltitudeM);
        maxBurst = std::max(maxBurst, x.burstAltitudeM);
    }
    (void)cases;
    f << "## Method\n\n"
      << "- **Flights**: " << o.flights << " seeded flights of the synthesizer's flight model "
         "(`nimbra-synth --flight`, tools/synth/trajectory.h): launch at 0 to 800 m, ascent "
         "rate 4 to 7 m/s (rising 10 % towards 30 km), burst between "
      << km(minBurst) << " and " << km(maxBurst)
      << " km, parachute 4 to 6.5 m/s at sea level, falling at that rate times "
         "sqrt(rho(0)/rho(h)) in an atmosphere whose density differs from the standard one by up "
         "to 10 % at 30 km (a mid-latitude winter or summer), with a 2 % wobble in the rate; "
         "gusts of 0.7 m/s, the sonde's "
         "swing 30 m below the balloon, GPS scatter of 2 m (4 m in altitude); landing on the "
         "launch altitude.\n"
      << "- **Winds**: each flight its own seeded profile: surface wind 1-8 m/s, a jet stream of "
         "10-45 m/s between 9 and 12.5 km, a stratospheric wind above 18 km, ripples of "
         "1-8 km wavelength. Steady in time for the main figures; changing for the second table.\n"
      << "- **Reception**: one fix a second with a tenth lost at random, handed to the "
         "FlightTracker as nimbra-decode hands them (sample time, continuity check on); no audio, "
         "so the whole run (each flight six times: the full flight, and the ascent with five "
         "burst settings; then all again in the changing wind) takes a few minutes.\n"
      << "- **Tracker settings**: ground altitude = the true landing altitude, burst altitude "
         "30,000 m, ascent and descent rates 5 m/s until measured.\n"
      << "- **Points**: *at burst* is the first fix the tracker calls Burst (the highest point "
         "followed by a sustained fall; about 10-30 s after it); *10 km* and *3 km* are the first "
         "trusted fixes below those heights above the ground while falling. The distance is "
         "measured on the ground between the predicted and the true landing point. Median and "
         "90th percentile interpolate between the sorted values.\n";
}

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    if (!parse(argc, argv, o)) {
        usage();
        return 2;
    }
    const auto begin = std::chrono::steady_clock::now();
    std::vector<Case> steadyCases, driftingCases;
    for (int i = 0; i < o.flights; ++i) {
        steadyCases.push_back(makeCase(i, 0.0));
        driftingCases.push_back(makeCase(i, 2.0));
    }
    const std::vector<Outcome> steady = runAll(steadyCases, o.jobs, "steady wind");
    const std::vector<Outcome> drifting = runAll(driftingCases, o.jobs, "changing wind");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();

    const fs::path dir(o.outDir);
    fs::create_directories(dir);
    writePage(dir / "prediction.md", o, steadyCases, steady, drifting, seconds);
    if (o.plot && !plot(dir, steady, drifting))
        std::fprintf(stderr, "prediction: gnuplot failed; the page is written without a new plot\n");
    std::fprintf(stderr, "prediction: wrote %s\n", (dir / "prediction.md").string().c_str());
    return 0;
}
