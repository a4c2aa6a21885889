// The live KML documents: the data file a station rewrites during a flight, and the small
// NetworkLink file beside it that makes Google Earth reload the data file on an interval.
//
// In:  the tracks so far (one per sonde), the station.
// Out: KML 2.2 text. Per sonde a folder with the track (absolute altitude, extruded to the
//      ground), the current position (a red icon while ascending, a blue one while descending),
//      a line of sight from the station to the sonde and, when there is one, the predicted
//      landing; a placemark for the station.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "flight/flight_fix.h"
#include "formats/track_documents.h"

namespace nimbra::outputs {

struct LivePoint {
    float latitude = 0.0f;   // degrees
    float longitude = 0.0f;  // degrees
    float altitude = 0.0f;   // metres
    std::int64_t timeMs = 0;
};

struct LiveTrack {
    std::string serial;
    std::vector<LivePoint> points;  // oldest first, never empty
    bool descending = false;
    LandingPrediction prediction;   // its path is not kept, only the landing
};

std::string liveKmlDocument(const std::vector<LiveTrack>& tracks, const formats::Station& station);
// `href`: the data file as the link file names it (its file name: both sit in one folder).
std::string networkLinkDocument(const std::string& href, int refreshSeconds);
// "live.kml" gives "live-link.kml"; a name without ".kml" gets "-link.kml" appended.
std::string linkPathFor(const std::string& path);

}  // namespace nimbra::outputs
