// Track documents: the trusted fixes as GPX 1.1 and KML 2.2.
//
// In:  the accepted fixes in order (untrusted ones are left out) and the station position.
// Out: GPX (one track per transmitter, points with elevation and time; waypoints for the station
//      and each sonde's last position) and KML (per transmitter a line string at absolute
//      altitude and a placemark for the last position; a placemark for the station; and, for
//      each transmitter whose last trusted fix has a landing prediction, placemarks for the burst
//      and the predicted landing and the predicted path, named after it when there are several).
#pragma once

#include <string>
#include <vector>

#include "flight/flight_fix.h"

namespace nimbra::formats {

struct Station {
    float latitude = 0.0f;   // degrees, as the decoder holds them
    float longitude = 0.0f;  // degrees
    float altitude = 0.0f;   // metres
};

std::string gpxDocument(const std::vector<FlightFix>& fixes, const Station& station);
std::string kmlDocument(const std::vector<FlightFix>& fixes, const Station& station);

}  // namespace nimbra::formats
