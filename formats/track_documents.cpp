#include "formats/track_documents.h"

#include <cstdio>

#include "formats/iso_time.h"
#include "formats/kml_parts.h"

namespace nimbra::formats {

namespace {

// Transmitter identifiers in order of first appearance.
std::vector<unsigned> transmitters(const std::vector<FlightFix>& fixes)
{
    std::vector<unsigned> ids;
    for (const FlightFix& f : fixes) {
        bool seen = false;
        for (unsigned id : ids)
            seen = seen || id == f.record.transmitterId;
        if (!seen)
            ids.push_back(f.record.transmitterId);
    }
    return ids;
}

const FlightFix* lastFixOf(const std::vector<FlightFix>& fixes, unsigned id)
{
    const FlightFix* last = nullptr;
    for (const FlightFix& f : fixes)
        if (f.record.transmitterId == id)
            last = &f;
    return last;
}

std::string latLonAttributes(float lat, float lon)
{
    return "lat=\"" + number("%.7f", static_cast<double>(lat)) + "\" lon=\"" +
           number("%.7f", static_cast<double>(lon)) + "\"";
}

std::string kmlCoordinates(const PredictedPoint& p)
{
    return number("%.7f", p.longitude) + "," + number("%.7f", p.latitude) + "," + number("%.1f", p.altitude);
}

// The fixes a track shows: the trusted ones. Their predictions are left behind; the documents
// show the latest one only.
std::vector<FlightFix> trackOf(const std::vector<FlightFix>& fixes)
{
    std::vector<FlightFix> track;
    for (const FlightFix& f : fixes)
        if (f.trusted) {
            track.emplace_back();
            track.back().record = f.record;
        }
    return track;
}

// The prediction after a sonde's last trusted fix, if any.
const LandingPrediction* latestPrediction(const std::vector<FlightFix>& fixes, unsigned id)
{
    for (auto it = fixes.rbegin(); it != fixes.rend(); ++it)
        if (it->trusted && it->record.transmitterId == id)
            return it->prediction.valid ? &it->prediction : nullptr;
    return nullptr;
}

std::string kmlPointPlacemark(const std::string& name, const std::string& description, const PredictedPoint& p)
{
    return "    <Placemark>\n      <name>" + name + "</name>\n      <description>" + description +
           "</description>\n      <styleUrl>#prediction</styleUrl>\n      <TimeStamp><when>" +
           formatIsoTime(p.timeMs) + "</when></TimeStamp>\n      <Point>\n        <altitudeMode>absolute</altitudeMode>\n"
           "        <coordinates>" + kmlCoordinates(p) +
           "</coordinates>\n      </Point>\n    </Placemark>\n";
}

// The predicted burst (or the burst seen), the predicted landing and the path to it; `suffix`
// names the sonde where the document holds several.
std::string kmlPrediction(const LandingPrediction& p, const std::string& suffix)
{
    std::string s;
    if (p.burstObserved)
        s += kmlPointPlacemark("Burst" + suffix, "highest point " + number("%.0f", p.burst.altitude) + " m", p.burst);
    else if (p.ascentRateMps > 0.0)  // still ascending: the burst lies ahead
        s += kmlPointPlacemark("Predicted burst" + suffix, "altitude " + number("%.0f", p.burst.altitude) + " m",
                               p.burst);
    s += kmlPointPlacemark("Predicted landing" + suffix, "landing at " + formatIsoTime(p.landing.timeMs), p.landing);
    s += "    <Placemark>\n      <name>Predicted path" + suffix + "</name>\n      <styleUrl>#prediction</styleUrl>\n"
         "      <LineString>\n        <altitudeMode>absolute</altitudeMode>\n        <coordinates>\n";
    for (const PredictedPoint& q : p.path)
        s += "          " + kmlCoordinates(q) + "\n";
    return s + "        </coordinates>\n      </LineString>\n    </Placemark>\n";
}

}  // namespace

std::string gpxDocument(const std::vector<FlightFix>& allFixes, const Station& station)
{
    const std::vector<FlightFix> fixes = trackOf(allFixes);
    std::string s =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"nimbra-decode\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd\">\n"
        "  <metadata>\n    <name>Radiosonde track</name>\n  </metadata>\n";
    s += "  <wpt lat=\"" + shortestFloat(station.latitude) + "\" lon=\"" + shortestFloat(station.longitude) +
         "\">\n    <ele>" + shortestFloat(station.altitude) + "</ele>\n    <name>Station</name>\n  </wpt>\n";
    const std::vector<unsigned> ids = transmitters(fixes);
    for (unsigned id : ids) {
        const FlightFix* last = lastFixOf(fixes, id);
        const FixRecord& r = last->record;
        s += "  <wpt " + latLonAttributes(r.latitude, r.longitude) + ">\n    <ele>" +
             number("%.1f", static_cast<double>(r.altitude)) + "</ele>\n    <time>" +
             formatIsoTime(r.timeMs) + "</time>\n    <name>" + idText(id) +
             " last position</name>\n  </wpt>\n";
    }
    for (unsigned id : ids) {
        s += "  <trk>\n    <name>Radiosonde " + idText(id) + "</name>\n    <trkseg>\n";
        for (const FlightFix& f : fixes) {
            const FixRecord& r = f.record;
            if (r.transmitterId != id)
                continue;
            s += "      <trkpt " + latLonAttributes(r.latitude, r.longitude) + "><ele>" +
                 number("%.1f", static_cast<double>(r.altitude)) + "</ele><time>" +
                 formatIsoTime(r.timeMs) + "</time></trkpt>\n";
        }
        s += "    </trkseg>\n  </trk>\n";
    }
    return s + "</gpx>\n";
}

std::string kmlDocument(const std::vector<FlightFix>& allFixes, const Station& station)
{
    const std::vector<FlightFix> fixes = trackOf(allFixes);
    std::string s =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"
        "  <Document>\n    <name>Radiosonde track</name>\n"
        "    <Style id=\"track\"><LineStyle><color>ff0000ff</color><width>3</width></LineStyle></Style>\n"
        "    <Style id=\"prediction\"><LineStyle><color>ff00ffff</color><width>2</width></LineStyle></Style>\n";
    s += kmlStationPlacemark(station);
    const std::vector<unsigned> ids = transmitters(fixes);
    for (unsigned id : ids) {
        s += "    <Placemark>\n      <name>Radiosonde " + idText(id) +
             "</name>\n      <styleUrl>#track</styleUrl>\n      <LineString>\n"
             "        <extrude>1</extrude>\n        <altitudeMode>absolute</altitudeMode>\n"
             "        <coordinates>\n";
        for (const FlightFix& f : fixes)
            if (f.record.transmitterId == id)
                s += "          " + kmlCoordinates(f.record.latitude, f.record.longitude, f.record.altitude) + "\n";
        s += "        </coordinates>\n      </LineString>\n    </Placemark>\n";
        const FixRecord& last = lastFixOf(fixes, id)->record;
        s += "    <Placemark>\n      <name>" + idText(id) + " last position</name>\n"
             "      <description>altitude " + number("%.0f", static_cast<double>(last.altitude)) +
             " m</description>\n      <TimeStamp><when>" + formatIsoTime(last.timeMs) +
             "</when></TimeStamp>\n      <Point>\n        <altitudeMode>absolute</altitudeMode>\n"
             "        <coordinates>" + kmlCoordinates(last.latitude, last.longitude, last.altitude) +
             "</coordinates>\n      </Point>\n    </Placemark>\n";
    }
    for (unsigned id : ids)
        if (const LandingPrediction* prediction = latestPrediction(allFixes, id))
            s += kmlPrediction(*prediction, ids.size() > 1 ? " " + idText(id) : std::string());
    return s + "  </Document>\n</kml>\n";
}

}  // namespace nimbra::formats
