// Thread stress of everything that crosses threads, meant to run under ThreadSanitizer.
//
// One thread decodes a synthesized flight as fast as it can, in chunks of 500,000 samples as the
// file-decoding thread does. Meanwhile, as the window would but without pause:
//   - a "window" thread drains decodedDisplayText and decodedRecordText and reads the display
//     fields of TelemetryState in a tight loop;
//   - a "scope" thread reads both scope rings and clears the hold flag, as a repaint does;
//   - a "controls" thread writes the decoder parameters back (the periodic loop's copy of the
//     controls) and reads the automatic threshold.
// Passes when every line of the flight arrives exactly once, whole and in order, in both
// accumulators; no display value is ever torn (each is 0 or a value the flight really sent);
// the counters never go back; and ThreadSanitizer reports nothing (it stops the process).
//
// Usage: thread_stress [SECONDS_OF_AUDIO]   (default 1800; one GPS block per second)
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "decoder/decoder.h"
#include "synth/synthesize.h"

namespace {

// 07 Dec 2026 06:00:00 UTC: every line carries this time stamp.
constexpr std::int64_t kClockMs = 1796623200000LL;
constexpr const char* kStamp = "07 Dec 2026 06:00:00 ";
constexpr std::size_t kChunk = 500000;

std::atomic<int> failures{0};

// Prints the first three failures of each kind, then only counts them.
void fail(const char* what, long long a = 0, long long b = 0)
{
    static std::mutex mutex;
    static std::map<std::string, long> seen;
    ++failures;
    std::lock_guard<std::mutex> lock(mutex);
    const long n = ++seen[what];
    if (n <= 3)
        std::fprintf(stderr, "FAIL: %s (%lld, %lld)\n", what, a, b);
    else if (n == 4)
        std::fprintf(stderr, "FAIL: %s: more of these follow, not shown\n", what);
}

struct Expected {
    std::vector<std::string> lines;  // without the carriage return
    std::set<float> latitudes, longitudes, altitudes, latitudeAbs, longitudeAbs;
    unsigned transmitterId = 0;
};

struct RunResult {
    long long displayReads = 0;
    long long scopeReads = 0;
    double seconds = 0;
};

std::vector<std::string> splitLines(const std::string& text, const char* name)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\r', start);
        if (end == std::string::npos) {
            fail(name);  // a line without its end: torn
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

RunResult run(int demodType, const std::vector<std::int16_t>& samples, const Expected& expected)
{
    auto decoder = std::make_unique<nimbra::Decoder>();
    nimbra::Decoder& d = *decoder;
    d.setClock([] { return kClockMs; });
    d.params.recordDecodedText = 1;
    d.params.demodType = demodType;
    // The Pattern demodulator takes a 1 bit as the high level: it needs the inverted signal.
    const int invert = demodType == 2 ? 1 : 0;
    d.params.invertSignal = invert;
    // The desktop program measures the signal: its level figures are read across threads too.
    d.setSignalMeasurement(true);

    std::atomic<bool> done{false};
    std::string display;
    std::string record;
    RunResult result;

    std::thread window([&] {
        int lastGood = 0;
        bool last = false;
        while (!last) {
            last = done.load(std::memory_order_acquire);
            const std::string shown = d.decodedDisplayText.takeAll();
            const std::string recorded = d.decodedRecordText.takeAll();
            if (!shown.empty() && shown.back() != '\r')
                fail("display text taken in the middle of a line");
            if (!recorded.empty() && recorded.back() != '\r')
                fail("record text taken in the middle of a line");
            display += shown;
            record += recorded;
            for (int i = 0; i < 64; ++i, ++result.displayReads) {
                const nimbra::TelemetryState& t = d.telemetry;
                const unsigned id = t.transmitterId;
                if (id != 0 && id != expected.transmitterId)
                    fail("torn transmitterId", id);
                const float alt = t.altitude;
                if (alt != 0.0f && !expected.altitudes.count(alt))
                    fail("altitude that was never sent");
                const float lat = t.latitude;
                if (lat != 0.0f && !expected.latitudes.count(lat))
                    fail("latitude that was never sent");
                const float lon = t.longitude;
                if (lon != 0.0f && !expected.longitudes.count(lon))
                    fail("longitude that was never sent");
                const float latAbs = t.latitudeAbs;
                if (latAbs != 0.0f && !expected.latitudeAbs.count(latAbs))
                    fail("latitudeAbs that was never sent");
                const float lonAbs = t.longitudeAbs;
                if (lonAbs != 0.0f && !expected.longitudeAbs.count(lonAbs))
                    fail("longitudeAbs that was never sent");
                const char ns = t.latitudeHemisphere;
                const char ew = t.longitudeHemisphere;
                if ((ns != 0 && ns != 'N' && ns != 'S') || (ew != 0 && ew != 'E' && ew != 'W'))
                    fail("hemisphere letter", ns, ew);
                const float az = t.azimuth;
                const float el = t.elevation;
                const float range = t.range;
                if (!(az >= 0.0f && az < 360.0f) || !(el >= -90.0f && el <= 90.0f) ||
                    !(range >= 0.0f && range < 20000.0f))
                    fail("look angles out of range");
                if (!std::isfinite(static_cast<double>(t.ascent)) ||
                    !std::isfinite(static_cast<double>(t.velocity)) ||
                    !std::isfinite(static_cast<double>(t.direction)))
                    fail("motion value not finite");
                const int good = t.goodPackets;
                if (good < lastGood)
                    fail("goodPackets went back", lastGood, good);
                lastGood = good;
                if (t.badPackets != 0)
                    fail("bad block in a clean recording", t.badPackets);
            }
        }
    });

    std::thread scope([&] {
        while (!done.load(std::memory_order_acquire)) {
            long sum = 0;
            for (int i = 0; i < nimbra::ScopeBuffer::kSize; ++i) {
                const int decision = d.scope.decision[i];
                if (decision < -1 || decision > 1)
                    fail("scope decision", decision);
                sum += d.scope.sample[i];
            }
            const int w = d.scope.writeIndex;
            if (w < 0 || w >= nimbra::ScopeBuffer::kSize)
                fail("scope write index", w);
            const float peak = d.inputLevel.peakDbfs;
            const float rms = d.inputLevel.rmsDbfs;
            // Each figure whole and in range (two figures may come from neighbouring intervals).
            if (!(peak >= nimbra::InputLevel::kFloorDb && peak <= 0.01f) ||
                !(rms >= nimbra::InputLevel::kFloorDb && rms <= 0.01f))
                fail("input level out of range", static_cast<long long>(peak), static_cast<long long>(rms));
            d.scope.hold = 0;
            ++result.scopeReads;
            (void)sum;
        }
    });

    std::thread controls([&] {
        while (!done.load(std::memory_order_acquire)) {
            // What one tick of the periodic loop writes: the same values the controls hold.
            d.params.demodType = demodType;
            d.params.invertSignal = invert;
            d.params.autoThreshold = 1;
            d.params.rejectBogus = 0;
            d.params.updateBadCrcPackets = 0;
            d.params.recordDecodedText = 1;
            const float threshold = d.params.threshold;
            if (!(threshold >= 0.0f) || threshold > 40000.0f)
                fail("threshold out of range");
            d.params.samplesPerBit = 4.992f;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });

    const auto start = std::chrono::steady_clock::now();
    for (std::size_t at = 0; at < samples.size(); at += kChunk) {
        const std::size_t n = std::min(kChunk, samples.size() - at);
        d.ProcessSamples(samples.data() + at, n);
    }
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    done.store(true, std::memory_order_release);
    window.join();
    scope.join();
    controls.join();

    const std::vector<std::string> shown = splitLines(display, "display text ends mid-line");
    const std::vector<std::string> recorded = splitLines(record, "record text ends mid-line");
    if (shown.size() != expected.lines.size())
        fail("lines shown vs lines sent", static_cast<long long>(shown.size()),
             static_cast<long long>(expected.lines.size()));
    if (recorded.size() != expected.lines.size())
        fail("lines recorded vs lines sent", static_cast<long long>(recorded.size()),
             static_cast<long long>(expected.lines.size()));
    for (std::size_t i = 0; i < expected.lines.size(); ++i) {
        if (i >= shown.size() || shown[i] != expected.lines[i]) {
            fail("display line differs from the one sent at this position",
                 static_cast<long long>(i));
            if (i < shown.size())
                std::fprintf(stderr, "  got      %s\n  expected %s\n", shown[i].c_str(),
                             expected.lines[i].c_str());
            break;
        }
        if (i >= recorded.size() || recorded[i] != expected.lines[i]) {
            fail("record line differs from the one sent at this position",
                 static_cast<long long>(i));
            break;
        }
    }
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 1800;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: thread_stress [SECONDS_OF_AUDIO]\n");
        return 2;
    }

    nimbra::synth::FlightSettings flight;
    flight.gpsBlocks = seconds;
    nimbra::synth::AudioChannelSettings audio;
    audio.lowPassHz = 7000.0;  // no noise: every block must decode, so every line is expected
    const nimbra::synth::Recording rec = nimbra::synth::synthesizeFlight(flight, audio);

    Expected expected;
    expected.transmitterId = flight.transmitterId;
    for (const nimbra::synth::ExpectedFix& fix : rec.flight.fixes) {
        expected.lines.push_back(kStamp + nimbra::synth::expectedLineTail(fix));
        const float lat = static_cast<float>(nimbra::synth::rawToDegrees(fix.latitudeRaw));
        const float lon = static_cast<float>(nimbra::synth::rawToDegrees(fix.longitudeRaw));
        expected.latitudes.insert(lat);
        expected.longitudes.insert(lon);
        expected.latitudeAbs.insert(std::fabs(lat));
        expected.longitudeAbs.insert(std::fabs(lon));
        expected.altitudes.insert(static_cast<float>(fix.altitudeMm / 1000.0));
    }
    std::printf("thread_stress: %d s of audio, %zu samples, %zu lines expected\n", seconds,
                rec.samples.size(), expected.lines.size());

    const char* names[] = {"Edge", "Level", "Pattern", "Sync"};
    for (int demodType = 0; demodType < 4; ++demodType) {
        const int before = failures;
        const RunResult r = run(demodType, rec.samples, expected);
        std::printf("%-7s decoded in %.1f s; window read the display fields %lld times (%.0f/s), "
                    "scope rings %lld times; %s\n",
                    names[demodType], r.seconds, r.displayReads,
                    static_cast<double>(r.displayReads) / (r.seconds > 0 ? r.seconds : 1),
                    r.scopeReads, failures == before ? "ok" : "FAILED");
    }
    if (failures != 0) {
        std::fprintf(stderr, "thread_stress: %d failure(s)\n", failures.load());
        return 1;
    }
    std::printf("thread_stress: every line arrived once, whole and in order; no torn value\n");
    return 0;
}
