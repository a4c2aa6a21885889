#include "band_options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "formats/frequency_text.h"
#include "option_values.h"

namespace nimbra::synth {

const char* const kBandUsage =
    "\n"
    "The band (iq channel): several sondes, spurs, the crystal and the dongle's faults:\n"
    "  --sonde SPEC            a sonde in the band (repeatable; without it, one sonde from --offset,\n"
    "                          --deviation, --drift, --id). SPEC is key=value,...: id=HEX,\n"
    "                          offset=HZ, deviation=HZ, level=DB (against the --ebn0 reference),\n"
    "                          drift=HZ_PER_S, fade=DB/SECONDS (dips DB once a period), on=SECONDS,\n"
    "                          off=SECONDS, rise=DB/SECONDS (starts DB low, full level after\n"
    "                          SECONDS), counter=N; HZ takes k and M (offset=-300k)\n"
    "  --spur HZ,DB            an unmodulated carrier at HZ, DB against the reference (repeatable)\n"
    "  --ppm N                 crystal error, -200 to 200: LO and sample clock off by N ppm\n"
    "  --tuned HZ              the tuned frequency the crystal error scales (default 1680M)\n"
    "  --dc F|I,Q              DC offset in fractions of full scale (0.02: the centre spike)\n"
    "  --iq-imbalance DB,DEG   Q's gain against I and the phase error (an image of every signal)\n"
    "  --iq-gain G             scale to full scale 1.0 before quantising (default: the band's RMS\n"
    "                          at 0.2 of full scale)\n";

namespace {

double frequencyValue(const std::string& option, const std::string& text, double limit)
{
    const auto hz = formats::parseFrequencyHz(text);
    if (!hz || std::fabs(*hz) > limit)
        fail(option + ": expected a frequency in Hz within +-" + std::to_string(limit) + " (k and M allowed), got '" +
             text + "'");
    return *hz;
}

// "A,B" or "A/B" into two numbers.
bool twoNumbers(const std::string& text, char separator, double& a, double& b)
{
    const auto cut = text.find(separator);
    if (cut == std::string::npos)
        return false;
    char* end = nullptr;
    const std::string first = text.substr(0, cut), second = text.substr(cut + 1);
    a = std::strtod(first.c_str(), &end);
    if (first.empty() || *end != '\0')
        return false;
    b = std::strtod(second.c_str(), &end);
    return !second.empty() && *end == '\0' && std::isfinite(a) && std::isfinite(b);
}

}  // namespace

bool takeBandOption(const std::string& arg, const std::function<const char*()>& value, BandOptions& band)
{
    if (arg == "--sonde") {
        band.sondeSpecs.emplace_back(value());
    } else if (arg == "--spur") {
        const std::string text = value();
        const auto cut = text.find(',');
        Spur spur;
        if (cut == std::string::npos)
            fail("--spur: expected HZ,DB, got '" + text + "'");
        spur.offsetHz = frequencyValue(arg, text.substr(0, cut), 5e6);
        spur.levelDb = parseNumber(arg, text.substr(cut + 1).c_str(), -100.0, 100.0);
        band.spurs.push_back(spur);
    } else if (arg == "--ppm") {
        band.ppm = parseNumber(arg, value(), -200.0, 200.0);
    } else if (arg == "--tuned") {
        band.tunedHz = frequencyValue(arg, value(), 1e11);
    } else if (arg == "--dc") {
        const std::string text = value();
        double i = 0.0, q = 0.0;
        if (!twoNumbers(text, ',', i, q))
            i = q = parseNumber(arg, text.c_str(), -1.0, 1.0);
        if (std::fabs(i) > 1.0 || std::fabs(q) > 1.0)
            fail("--dc: expected F or I,Q within +-1 of full scale, got '" + text + "'");
        band.dongle.dcI = i;
        band.dongle.dcQ = q;
    } else if (arg == "--iq-imbalance") {
        const std::string text = value();
        double db = 0.0, deg = 0.0;
        if (!twoNumbers(text, ',', db, deg) || std::fabs(db) > 6.0 || std::fabs(deg) > 30.0)
            fail("--iq-imbalance: expected DB,DEG within +-6 dB and +-30 degrees, got '" + text + "'");
        band.dongle.iqGainDb = db;
        band.dongle.iqPhaseDeg = deg;
    } else if (arg == "--iq-gain") {
        band.dongle.gain = parseNumber(arg, value(), 1e-6, 1e6);
    } else {
        return false;
    }
    band.given = true;
    return true;
}

BandSettings makeBand(const BandOptions& band, const BandSonde& base, double sampleRate, double durationS)
{
    BandSettings b;
    b.sampleRate = sampleRate;
    b.durationS = durationS;
    b.ppm = band.ppm;
    b.tunedHz = band.tunedHz;
    b.spurs = band.spurs;
    if (band.sondeSpecs.empty()) {
        b.sondes.push_back(base);
    } else {
        for (std::size_t k = 0; k < band.sondeSpecs.size(); ++k) {
            BandSonde s = base;
            // A flight of its own: the next identifier and counter, launched 4 km further north
            // in a wind of its own.
            s.flight.transmitterId = static_cast<std::uint16_t>(base.flight.transmitterId + k);
            s.flight.firstCounter = static_cast<std::uint16_t>(base.flight.firstCounter + 1000 * k);
            s.flight.launchNorthM += 4000.0 * double(k);
            s.flight.windEast += 2.0 * double(k);
            std::string error;
            if (!parseSondeSpec(band.sondeSpecs[k], s, error))
                fail("--sonde " + band.sondeSpecs[k] + ": " + error);
            // A modelled flight (--flight) planned every block with the base sonde's identifier and
            // counter: this sonde sends its own (an injected identifier, a staged fault, stays).
            // Each flies the same modelled flight from a launch site of its own, k x 0.05 degrees
            // north-east of the first.
            const int counterShift = int(s.flight.firstCounter) - int(base.flight.firstCounter);
            const std::int32_t shift = degreesToRaw(0.05 * double(k));
            for (PlannedBlock& block : s.flight.plan) {
                if (block.transmitterId == base.flight.transmitterId)
                    block.transmitterId = s.flight.transmitterId;
                block.timeCounter = static_cast<std::uint16_t>(int(block.timeCounter) + counterShift);
                block.latitudeRaw += shift;
                block.longitudeRaw += shift;
            }
            b.sondes.push_back(s);
        }
    }
    for (const BandSonde& s : b.sondes)
        if (std::fabs(s.offsetHz) >= sampleRate / 2.0)
            fail("a sonde's offset must lie within the band, below half the rate (" + std::to_string(sampleRate / 2.0) +
                 " Hz)");
    for (const Spur& spur : b.spurs)
        if (std::fabs(spur.offsetHz) >= sampleRate / 2.0)
            fail("--spur: the spur must lie within the band, below half the rate");
    return b;
}

}  // namespace nimbra::synth
