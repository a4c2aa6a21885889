// Track export: the session's trusted fixes as a GPX or KML file, through the same documents and
// the same whole-or-nothing writing as nimbra-decode --gpx/--kml.
//
// In:  the target path (".kml" gives KML, anything else GPX), the fixes, the station.
// Out: the file, renamed into place only once written whole; false with a message for the user
//      when it cannot be written (nothing then changes at the target).
#pragma once

#include <QString>

#include <vector>

#include "flight/flight_fix.h"
#include "formats/track_documents.h"

namespace nimbra {

enum class TrackFormat { Gpx, Kml };

TrackFormat trackFormatFor(const QString& path);
bool writeTrack(const QString& path, const std::vector<FlightFix>& fixes,
                const formats::Station& station, QString& error);

}  // namespace nimbra
