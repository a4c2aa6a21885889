#include "outputs/sondehub_telemetry.h"

#include <cmath>
#include <cstdlib>

#include "formats/iso_time.h"
#include "formats/kml_parts.h"
#include "outputs/json_values.h"
#include "outputs/software.h"

namespace nimbra::outputs {

namespace {

// The station as the user typed it ("-76.98", not "-76.980003").
double asTyped(float v) { return std::strtod(formats::shortestFloat(v).c_str(), nullptr); }

nlohmann::ordered_json uploaderPosition(const formats::Station& s)
{
    return nlohmann::ordered_json::array({asTyped(s.latitude), asTyped(s.longitude), asTyped(s.altitude)});
}

}  // namespace

std::string telemetryObject(const FlightFix& fix, const FixContext& context, const SondeIdentity& identity,
                            const Uploader& uploader)
{
    const FixRecord& r = fix.record;
    const std::string time = formats::formatIsoTimeMicros(r.timeMs);
    nlohmann::ordered_json t;
    t["software_name"] = kSoftwareName;
    t["software_version"] = kSoftwareVersion;
    t["uploader_callsign"] = uploader.callsign;
    t["time_received"] = time;
    t["manufacturer"] = identity.manufacturer;
    t["type"] = identity.type;
    t["serial"] = context.serial;
    t["frame"] = r.timeCounter;
    t["datetime"] = time;
    t["lat"] = degrees6(r.latitude);
    t["lon"] = degrees6(r.longitude);
    t["alt"] = tenths(r.altitude);
    if (context.motionKnown && std::isfinite(r.ascent) && std::isfinite(r.velocity) && std::isfinite(r.direction)) {
        t["vel_v"] = tenths(r.ascent);
        t["vel_h"] = tenths(r.velocity);
        t["heading"] = tenths(r.direction);
    }
    if (fix.satellites >= 0)
        t["sats"] = fix.satellites;
    if (std::isfinite(fix.frequencyHz))
        t["frequency"] = std::round(fix.frequencyHz / 1e3) / 1e3;  // MHz to the kHz
    if (uploader.position)
        t["uploader_position"] = uploaderPosition(*uploader.position);
    return compactJson(t);
}

std::string listenerObject(const Uploader& uploader, bool mobile)
{
    nlohmann::ordered_json l;
    l["software_name"] = kSoftwareName;
    l["software_version"] = kSoftwareVersion;
    l["uploader_callsign"] = uploader.callsign;
    if (uploader.position)
        l["uploader_position"] = uploaderPosition(*uploader.position);
    l["mobile"] = mobile;
    return compactJson(l);
}

std::string listenerUrlFor(const std::string& telemetryUrl)
{
    std::string base = telemetryUrl.substr(0, telemetryUrl.find_first_of("?#"));
    const std::string network = "/sondes/telemetry";
    if (base.size() >= network.size() && base.compare(base.size() - network.size(), network.size(), network) == 0)
        return base.substr(0, base.size() - network.size()) + "/listeners";
    const std::size_t schemeEnd = base.find("://");
    const std::size_t pathStart = base.find('/', schemeEnd == std::string::npos ? 0 : schemeEnd + 3);
    if (pathStart == std::string::npos)
        return base + "/listeners";
    return base.substr(0, base.rfind('/') + 1) + "listeners";
}

}  // namespace nimbra::outputs
