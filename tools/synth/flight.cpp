#include "synth/flight.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "synth/modulator.h"
#include "synth/telemetry_blocks.h"

namespace nimbra::synth {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMetresPerDegree = 111320.0;  // near enough for a synthetic drift

// Thirteen slowly varying sensor counts; selectors all pick the 65536 range, some with the
// ignored selector bits set.
PtuBlockFields makePtu(int index, double t)
{
    static const std::uint8_t selectors[13] = {0x02, 0x02, 0x03, 0x02, 0x22, 0x02, 0x02,
                                               0x02, 0xE2, 0x02, 0x03, 0x02, 0x02};
    PtuBlockFields ptu;
    ptu.frameCounter = static_cast<std::uint16_t>(index);
    for (int k = 0; k < 13; ++k) {
        const double value = 9000.0 + 3500.0 * k + 800.0 * std::sin(t / 17.0 + k);
        ptu.channels[k].selector = selectors[k];
        ptu.channels[k].count = static_cast<std::uint16_t>(65536 - static_cast<int>(value));
    }
    for (int i = 0; i < 16; ++i)
        ptu.calibration[i] = static_cast<std::uint8_t>(index * 16 + i);
    return ptu;
}

// Appends idle bits until bit position `bit` (never backwards).
void idleUntil(SerialLine& line, std::size_t bit)
{
    if (bit > line.size())
        line.addIdle(bit - line.size());
}

std::size_t bitAt(double seconds, double samplesPerBit)
{
    return static_cast<std::size_t>(std::llround(seconds * kSampleRate / samplesPerBit));
}

// The n-th impossible position of a flight (see FlightSettings::bogusEvery).
void spoilPosition(GpsBlockFields& gps, int n)
{
    switch (n % 4) {
    case 0:
        gps.altitudeMm = -1000000;
        break;
    case 1:
        gps.altitudeMm = 60000000;
        break;
    case 2:
        gps.latitudeRaw = degreesToRaw(95.0);
        break;
    default:
        gps.latitudeRaw = degreesToRaw(rawToDegrees(gps.latitudeRaw) + 3.0);
        break;
    }
}

}  // namespace

Flight makeFlight(const FlightSettings& s)
{
    Flight flight;
    const double spb = s.samplesPerBit;
    bool ptuSent = false;
    std::array<double, 13> latestPtu{};

    const int blocks = s.plan.empty() ? s.gpsBlocks : static_cast<int>(s.plan.size());
    for (int i = 0; i < blocks; ++i) {
        const double t = static_cast<double>(i);  // seconds since launch
        const double start = s.leadInS + t;
        const PlannedBlock* planned = s.plan.empty() ? nullptr : &s.plan[static_cast<std::size_t>(i)];
        if (planned && !planned->sent)
            continue;

        const double north = s.launchNorthM + s.windNorth * t + 40.0 * std::sin(t / 23.0);
        const double east = s.launchEastM + s.windEast * t + 25.0 * std::sin(t / 31.0 + 1.0);
        const double lat = s.stationLat + north / kMetresPerDegree;
        const double lon = s.stationLon + east / (kMetresPerDegree * std::cos(s.stationLat * kPi / 180.0));

        GpsBlockFields gps;
        gps.transmitterId = s.transmitterId;
        gps.timeCounter = static_cast<std::uint16_t>(s.firstCounter + i);
        gps.latitudeRaw = degreesToRaw(lat);
        gps.longitudeRaw = degreesToRaw(lon);
        gps.altitudeMm = static_cast<std::int32_t>(std::llround((s.stationAlt + s.ascentRate * t) * 1000.0));
        if (planned) {
            gps.transmitterId = planned->transmitterId;
            gps.timeCounter = planned->timeCounter;
            gps.latitudeRaw = planned->latitudeRaw;
            gps.longitudeRaw = planned->longitudeRaw;
            gps.altitudeMm = planned->altitudeMm;
        }
        gps.gpsTimeMs = static_cast<std::uint32_t>(388800000 + 1000 * i);
        gps.gpsWeek = 2446;
        gps.numSatellites = s.numSatellites;
        const bool bogus = s.bogusEvery > 0 && (i + 1) % s.bogusEvery == 0;
        if (bogus) {
            spoilPosition(gps, flight.bogusBlocks);
            ++flight.bogusBlocks;
        }
        std::vector<std::uint8_t> block = buildGpsBlock(gps);
        const bool corrupt = s.corruptEvery > 0 && (i + 1) % s.corruptEvery == 0;
        if (corrupt) {
            corruptChecksum(block);
            ++flight.corruptedBlocks;
        }

        if (s.sendPtu) {
            const PtuBlockFields ptu = makePtu(i, t);
            idleUntil(flight.line, bitAt(start, spb));
            sendBlock(flight.line, buildPtuBlock(ptu));
            ++flight.ptuBlocks;
            ptuSent = true;
            for (int k = 0; k < 13; ++k)
                latestPtu[k] = 65536.0 - ptu.channels[k].count;
        }
        idleUntil(flight.line, bitAt(start + s.gpsOffsetS, spb));
        sendBlock(flight.line, block);
        ++flight.gpsBlocks;

        ExpectedFix fix;
        fix.transmitterId = gps.transmitterId;
        fix.timeCounter = gps.timeCounter;
        fix.latitudeRaw = gps.latitudeRaw;
        fix.longitudeRaw = gps.longitudeRaw;
        fix.altitudeMm = gps.altitudeMm;
        fix.crcGood = !corrupt;
        fix.bogus = bogus;
        fix.injected = planned && planned->injected;
        fix.hasPtu = ptuSent;
        fix.ptu = latestPtu;
        fix.endTimeS = static_cast<double>(samplesForBits(flight.line.size(), spb)) / kSampleRate;
        flight.fixes.push_back(fix);
    }
    // The next block starts just as the recording ends.
    idleUntil(flight.line, bitAt(s.leadInS + blocks, spb));
    for (int c = 0; c < block::kSyncCharacters; ++c)
        flight.line.addCharacter(block::kSyncCharacter);
    flight.line.addIdle(2);
    return flight;
}

std::int32_t degreesToRaw(double degrees)
{
    return static_cast<std::int32_t>(std::llround(degrees * 2147483648.0 / 180.0));
}

double rawToDegrees(std::int32_t raw)
{
    // The decoder holds degrees as floats: the expected value is that float, widened again.
    return static_cast<double>(static_cast<float>(static_cast<double>(raw) * 180.0 / 2147483648.0));
}

namespace {

std::string formatAngle(std::int32_t raw, char positive, char negative)
{
    const double v = rawToDegrees(raw);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.5f%c", v < 0 ? -v : v, v < 0 ? negative : positive);
    return buf;
}

}  // namespace

std::string formatLatitude(std::int32_t raw) { return formatAngle(raw, 'N', 'S'); }
std::string formatLongitude(std::int32_t raw) { return formatAngle(raw, 'E', 'W'); }

std::string formatAltitude(std::int32_t altitudeMm)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.0f",
                  static_cast<double>(static_cast<float>(altitudeMm / 1000.0)));
    return buf;
}

std::string expectedLineTail(const ExpectedFix& fix)
{
    char head[32];
    std::snprintf(head, sizeof head, "%04X %u ", fix.transmitterId, fix.timeCounter);
    return head + formatLatitude(fix.latitudeRaw) + " " + formatLongitude(fix.longitudeRaw) + " " +
           formatAltitude(fix.altitudeMm);
}

bool writeExpectedCsv(const std::string& path, const std::vector<ExpectedFix>& fixes,
                      std::string& error)
{
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::fprintf(f, "id,counter,latitude,longitude,altitude,lat_deg,lon_deg,alt_m,crc_good,end_s,ptu,injected\n");
    for (const ExpectedFix& x : fixes) {
        std::fprintf(f, "%04X,%u,%s,%s,%s,%.7f,%.7f,%.3f,%d,%.6f,", x.transmitterId, x.timeCounter,
                     formatLatitude(x.latitudeRaw).c_str(), formatLongitude(x.longitudeRaw).c_str(),
                     formatAltitude(x.altitudeMm).c_str(), rawToDegrees(x.latitudeRaw),
                     rawToDegrees(x.longitudeRaw), x.altitudeMm / 1000.0, x.crcGood ? 1 : 0,
                     x.endTimeS);
        if (x.hasPtu)
            for (int k = 0; k < 13; ++k)
                std::fprintf(f, k ? " %.1f" : "%.1f", x.ptu[k]);
        std::fprintf(f, ",%d\n", x.injected ? 1 : 0);
    }
    if (std::fclose(f) != 0) {
        error = path + ": write failed";
        return false;
    }
    return true;
}

}  // namespace nimbra::synth
