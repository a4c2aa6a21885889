#include "formats/kml_parts.h"

#include <cstdio>
#include <cstdlib>

namespace nimbra::formats {

std::string number(const char* format, double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

std::string idText(unsigned id)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", id & 0xFFFFu);
    return buf;
}

std::string shortestFloat(float v)
{
    char buf[64];
    for (int precision = 6; precision < 9; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, static_cast<double>(v));
        if (std::strtof(buf, nullptr) == v)
            return buf;
    }
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
    return buf;
}

std::string kmlCoordinates(float lat, float lon, float alt)
{
    return number("%.7f", static_cast<double>(lon)) + "," + number("%.7f", static_cast<double>(lat)) +
           "," + number("%.1f", static_cast<double>(alt));
}

std::string kmlStationPlacemark(const Station& station)
{
    return "    <Placemark>\n      <name>Station</name>\n      <Point>\n"
           "        <altitudeMode>absolute</altitudeMode>\n        <coordinates>" +
           shortestFloat(station.longitude) + "," + shortestFloat(station.latitude) + "," +
           shortestFloat(station.altitude) + "</coordinates>\n      </Point>\n    </Placemark>\n";
}

std::string xmlEscaped(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

}  // namespace nimbra::formats
