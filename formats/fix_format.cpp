#include "formats/fix_format.h"

#include <cctype>
#include <cmath>
#include <cstdio>

#include "flight/flight_phase.h"
#include "formats/iso_time.h"
#include "telemetry/telemetry_state.h"

namespace nimbra::formats {

namespace {

// The values shared by both formats, in column order.
struct Fields {
    std::string time, id;
    char numbers[12][32];
};

constexpr const char* kNames[12] = {"counter",   "latitude",  "longitude",    "altitude_m",
                                    "azimuth",   "elevation", "range_km",     "ascent_mps",
                                    "velocity_mps", "direction", "crc_good", "bits_repaired"};

Fields fieldsOf(const FlightFix& fix)
{
    const FixRecord& r = fix.record;
    Fields f;
    f.time = formatIsoTime(r.timeMs);
    char id[8];
    std::snprintf(id, sizeof id, "%04X", r.transmitterId & 0xFFFFu);
    f.id = id;
    std::snprintf(f.numbers[0], 32, "%u", r.timeCounter);
    std::snprintf(f.numbers[1], 32, "%.6f", static_cast<double>(r.latitude));
    std::snprintf(f.numbers[2], 32, "%.6f", static_cast<double>(r.longitude));
    std::snprintf(f.numbers[3], 32, "%.3f", static_cast<double>(r.altitude));
    std::snprintf(f.numbers[4], 32, "%.3f", static_cast<double>(r.azimuth));
    std::snprintf(f.numbers[5], 32, "%.3f", static_cast<double>(r.elevation));
    std::snprintf(f.numbers[6], 32, "%.3f", static_cast<double>(r.range));
    std::snprintf(f.numbers[7], 32, "%.3f", static_cast<double>(r.ascent));
    std::snprintf(f.numbers[8], 32, "%.3f", static_cast<double>(r.velocity));
    std::snprintf(f.numbers[9], 32, "%.3f", static_cast<double>(r.direction));
    std::snprintf(f.numbers[10], 32, "%s", r.crcGood ? "true" : "false");
    std::snprintf(f.numbers[11], 32, "%d", r.bitsRepaired);
    return f;
}

std::string ptuValue(float v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", static_cast<double>(v));
    return buf;
}

// What the flight tracking adds, after the PTU channels: trusted, phase, and the predicted
// landing (empty, or null, while there is no prediction).
struct FlightFields {
    const char* trusted;
    const char* phase;
    bool predicted;
    char latitude[32];
    char longitude[32];
    std::string time;
};

FlightFields flightFieldsOf(const FlightFix& fix)
{
    FlightFields f{fix.trusted ? "true" : "false", flight::phaseName(fix.phase), fix.prediction.valid, {}, {}, {}};
    if (f.predicted) {
        const PredictedPoint& p = fix.prediction.landing;
        std::snprintf(f.latitude, sizeof f.latitude, "%.6f", p.latitude);
        std::snprintf(f.longitude, sizeof f.longitude, "%.6f", p.longitude);
        f.time = formatIsoTime(p.timeMs);
    }
    return f;
}

// Where the SDR heard it: the offset in whole Hz, the frequency in MHz to the kHz; empty when
// not known.
std::string offsetText(const FlightFix& fix)
{
    char text[32] = "";
    if (std::isfinite(fix.offsetHz))
        std::snprintf(text, sizeof text, "%.0f", fix.offsetHz);
    return text;
}

std::string frequencyText(const FlightFix& fix)
{
    char text[32] = "";
    if (std::isfinite(fix.frequencyHz))
        std::snprintf(text, sizeof text, "%.3f", fix.frequencyHz / 1e6);
    return text;
}

}  // namespace

std::string csvHeader(CsvColumns columns)
{
    std::string s = "time,id";
    for (const char* name : kNames)
        s += std::string(",") + name;
    for (int k = 1; k <= block::kPtuChannels; ++k)
        s += ",ptu_" + std::to_string(k);
    s += ",trusted,phase,pred_lat,pred_lon,pred_time";
    if (columns.offset)
        s += ",offset_hz";
    if (columns.frequency)
        s += ",frequency_mhz";
    return s + "\n";
}

std::string csvRow(const FlightFix& fix, CsvColumns columns)
{
    const Fields f = fieldsOf(fix);
    std::string s = f.time + "," + f.id;
    for (const auto& n : f.numbers)
        s += std::string(",") + n;
    for (int k = 0; k < block::kPtuChannels; ++k)
        s += "," + (fix.record.hasPtu ? ptuValue(fix.record.ptuChannels[k]) : std::string());
    const FlightFields g = flightFieldsOf(fix);
    s += std::string(",") + g.trusted + "," + g.phase;
    s += g.predicted ? std::string(",") + g.latitude + "," + g.longitude + "," + g.time : std::string(",,,");
    if (columns.offset)
        s += "," + offsetText(fix);
    if (columns.frequency)
        s += "," + frequencyText(fix);
    return s + "\n";
}

std::string jsonLine(const FlightFix& fix)
{
    const Fields f = fieldsOf(fix);
    std::string s = "{\"time\":\"" + f.time + "\",\"id\":\"" + f.id + "\"";
    for (int i = 0; i < 12; ++i) {
        // JSON has no NaN or infinity.
        const bool finite = std::isdigit(static_cast<unsigned char>(f.numbers[i][f.numbers[i][0] == '-' ? 1 : 0])) ||
                            i == 10;
        s += std::string(",\"") + kNames[i] + "\":" + (finite ? f.numbers[i] : "null");
    }
    s += ",\"ptu\":";
    if (fix.record.hasPtu) {
        s += "[";
        for (int k = 0; k < block::kPtuChannels; ++k)
            s += (k ? "," : "") + ptuValue(fix.record.ptuChannels[k]);
        s += "]";
    } else {
        s += "null";
    }
    const FlightFields g = flightFieldsOf(fix);
    s += std::string(",\"trusted\":") + g.trusted + ",\"phase\":\"" + g.phase + "\"";
    if (g.predicted)
        s += std::string(",\"pred_lat\":") + g.latitude + ",\"pred_lon\":" + g.longitude + ",\"pred_time\":\"" +
             g.time + "\"";
    else
        s += ",\"pred_lat\":null,\"pred_lon\":null,\"pred_time\":null";
    if (std::isfinite(fix.offsetHz))
        s += ",\"offset_hz\":" + offsetText(fix);
    if (std::isfinite(fix.frequencyHz))
        s += ",\"frequency_mhz\":" + frequencyText(fix);
    return s + "}\n";
}

}  // namespace nimbra::formats
