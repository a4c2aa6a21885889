// KML parts shared by the track documents written at the end of a run and the live KML that a
// station rewrites during a flight: numbers as text, coordinates at absolute altitude, the
// transmitter's identifier, the station placemark.
//
// In:  degrees, metres, identifiers and the station as the decoder holds them (32-bit floats).
// Out: text fragments. Numbers use '.' as the decimal point whatever the locale.
#pragma once

#include <string>

#include "formats/track_documents.h"

namespace nimbra::formats {

// `v` printed with a printf format of one double conversion, e.g. number("%.1f", 12.25).
std::string number(const char* format, double v);
// The transmitter identifier as the decoded-text line prints it: four upper-case hex digits.
std::string idText(unsigned id);
// The shortest decimal that reads back as the same 32-bit float: the station as the user typed
// it ("-76.98", not "-76.9800034").
std::string shortestFloat(float v);
// "lon,lat,alt" with 7 decimals of a degree (about a centimetre) and a tenth of a metre.
std::string kmlCoordinates(float lat, float lon, float alt);
// A placemark named "Station" at absolute altitude, indented four spaces.
std::string kmlStationPlacemark(const Station& station);
// Text with XML's special characters replaced by entities.
std::string xmlEscaped(const std::string& text);

}  // namespace nimbra::formats
