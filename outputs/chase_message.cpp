#include "outputs/chase_message.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "formats/frequency_text.h"
#include "formats/iso_time.h"
#include "outputs/json_values.h"

namespace nimbra::outputs {

namespace {

// "HH:MM:SS" of a time in ms since 1970-01-01 UTC.
std::string clockTime(std::int64_t ms) { return formats::formatIsoTime(ms).substr(11, 8); }

long wholeOrUnknown(float v, double scale, bool known)
{
    if (!known || !std::isfinite(v))
        return -1;
    return std::lround(static_cast<double>(v) * scale);
}

}  // namespace

std::string chaseComment(const FlightFix& fix)
{
    std::string comment = "Nimbra";
    const LandingPrediction& p = fix.prediction;
    if (p.valid) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "; landing %.5f,%.5f at ", p.landing.latitude, p.landing.longitude);
        comment += buf + clockTime(p.landing.timeMs) + "Z";
    }
    return comment;
}

std::string chaseMessage(const FlightFix& fix, const FixContext& context, const std::string& model,
                         const std::string& stationName)
{
    const FixRecord& r = fix.record;
    nlohmann::ordered_json m;
    m["type"] = "PAYLOAD_SUMMARY";
    m["callsign"] = context.serial;
    m["latitude"] = degrees6(r.latitude);
    m["longitude"] = degrees6(r.longitude);
    m["altitude"] = std::isfinite(r.altitude) ? std::lround(r.altitude) : 0L;
    m["speed"] = wholeOrUnknown(r.velocity, 3.6, context.motionKnown);
    long heading = wholeOrUnknown(r.direction, 1.0, context.motionKnown);
    if (heading >= 0)
        heading %= 360;
    m["heading"] = heading;
    m["time"] = clockTime(r.timeMs);
    m["model"] = model;
    m["frame"] = r.timeCounter;
    if (fix.satellites >= 0)
        m["sats"] = fix.satellites;
    if (std::isfinite(fix.frequencyHz))
        m["freq"] = formats::formatMhz(fix.frequencyHz) + " MHz";
    m["comment"] = chaseComment(fix);
    m["station"] = stationName;
    return compactJson(m);
}

}  // namespace nimbra::outputs
