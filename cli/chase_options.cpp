#include "cli/chase_options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace nimbra::cli {

namespace {

bool number(const std::string& text, double lo, double hi, double& out)
{
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !(v >= lo) || !(v <= hi))
        return false;
    out = v;
    return true;
}

}  // namespace

ChaseOptionOutcome parseChaseOption(const std::string& name, const std::string* peekValue,
                                    const std::function<bool(std::string&)>& takeValue, ChaseOptions& o,
                                    std::string& error)
{
    std::string value;
    auto need = [&](const char* what) {
        if (takeValue(value))
            return true;
        error = name + " needs a value: " + what;
        return false;
    };
    if (name == "--station") {
        if (!peekValue || peekValue->compare(0, 4, "gpsd") != 0)
            return ChaseOptionOutcome::NotAChaseOption;
        takeValue(value);
        station::GpsdAddress a;
        if (!station::parseGpsdAddress(value, a, error)) {
            error = "--station: " + error;
            return ChaseOptionOutcome::Failed;
        }
        o.gpsd = a;
    } else if (name == "--sondehub-chase") {
        o.sondehubChase = true;
    } else if (name == "--rotator") {
        if (!need("HOST[:PORT] of a rotctld (port 4533 unless given)"))
            return ChaseOptionOutcome::Failed;
        station::RotctldAddress a;
        if (!station::parseRotctldAddress(value, a, error))
            return ChaseOptionOutcome::Failed;
        o.rotator = a;
    } else if (name == "--rotator-threshold" || name == "--rotator-interval") {
        if (!need(name == "--rotator-threshold" ? "degrees" : "seconds"))
            return ChaseOptionOutcome::Failed;
        double v = 0.0;
        const bool threshold = name == "--rotator-threshold";
        if (!number(value, threshold ? 0.1 : 0.5, threshold ? 90.0 : 3600.0, v)) {
            error = name + (threshold ? ": expected 0.1 to 90 degrees, got '" : ": expected 0.5 to 3600 seconds, got '") +
                    value + "'";
            return ChaseOptionOutcome::Failed;
        }
        (threshold ? o.rotatorSettings.thresholdDeg : o.rotatorSettings.intervalS) = v;
        o.rotatorDetail = true;
    } else if (name == "--rotator-sonde") {
        if (!need("the identifier of the sonde to follow (hexadecimal, as the lines show it)"))
            return ChaseOptionOutcome::Failed;
        char* end = nullptr;
        errno = 0;
        const unsigned long id = std::strtoul(value.c_str(), &end, 16);
        if (value.empty() || value.size() > 4 || *end != '\0' || errno != 0 || value[0] == '-' || value[0] == '+') {
            error = "--rotator-sonde: expected a sonde's identifier (1 to 4 hexadecimal digits), got '" + value + "'";
            return ChaseOptionOutcome::Failed;
        }
        o.rotatorSonde = static_cast<unsigned>(id);
        o.rotatorDetail = true;
    } else if (name == "--rotator-azimuth-only") {
        o.rotatorSettings.azimuthOnly = true;
        o.rotatorDetail = true;
    } else if (name == "--rotator-home") {
        if (!need("AZ,EL,MINUTES: where to go after MINUTES without a fix"))
            return ChaseOptionOutcome::Failed;
        double az = 0, el = 0, minutes = 0;
        char extra = 0;
        if (std::sscanf(value.c_str(), "%lf,%lf,%lf%c", &az, &el, &minutes, &extra) != 3 || !(az >= 0.0) ||
            !(az < 360.0) || !(el >= 0.0) || !(el <= 90.0) || !(minutes > 0.0) || !(minutes <= 1440.0)) {
            error = "--rotator-home: expected AZ,EL,MINUTES (0-360, 0-90, up to a day), got '" + value + "'";
            return ChaseOptionOutcome::Failed;
        }
        o.rotatorSettings.homeAzimuth = az;
        o.rotatorSettings.homeElevation = el;
        o.rotatorSettings.homeAfterS = minutes * 60.0;
        o.rotatorDetail = true;
    } else {
        return ChaseOptionOutcome::NotAChaseOption;
    }
    return ChaseOptionOutcome::Taken;
}

}  // namespace nimbra::cli
