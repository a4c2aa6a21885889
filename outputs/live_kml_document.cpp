#include "outputs/live_kml_document.h"

#include "formats/iso_time.h"
#include "formats/kml_parts.h"

namespace nimbra::outputs {

using formats::kmlCoordinates;
using formats::number;
using formats::xmlEscaped;

namespace {

const char* const kStyles =
    "    <Style id=\"track\"><LineStyle><color>ff0000ff</color><width>3</width></LineStyle>"
    "<PolyStyle><color>400000ff</color></PolyStyle></Style>\n"
    "    <Style id=\"sight\"><LineStyle><color>ff00ffff</color><width>1</width></LineStyle></Style>\n"
    "    <Style id=\"ascending\"><IconStyle><Icon><href>http://maps.google.com/mapfiles/kml/paddle/red-circle.png"
    "</href></Icon></IconStyle></Style>\n"
    "    <Style id=\"descending\"><IconStyle><Icon><href>http://maps.google.com/mapfiles/kml/paddle/blu-circle.png"
    "</href></Icon></IconStyle></Style>\n"
    "    <Style id=\"landing\"><IconStyle><Icon><href>http://maps.google.com/mapfiles/kml/paddle/ylw-stars.png"
    "</href></Icon></IconStyle></Style>\n";

std::string point(const std::string& name, const char* style, const std::string& description,
                  const std::string& when, const std::string& coordinates)
{
    return "      <Placemark>\n        <name>" + name + "</name>\n        <styleUrl>#" + style +
           "</styleUrl>\n        <description>" + description + "</description>\n" +
           (when.empty() ? std::string() : "        <TimeStamp><when>" + when + "</when></TimeStamp>\n") +
           "        <Point>\n          <altitudeMode>absolute</altitudeMode>\n          <coordinates>" +
           coordinates + "</coordinates>\n        </Point>\n      </Placemark>\n";
}

std::string line(const std::string& name, const char* style, bool extrude, const std::string& coordinates)
{
    return "      <Placemark>\n        <name>" + name + "</name>\n        <styleUrl>#" + style +
           "</styleUrl>\n        <LineString>\n" + (extrude ? "          <extrude>1</extrude>\n" : "") +
           "          <altitudeMode>absolute</altitudeMode>\n          <coordinates>\n" + coordinates +
           "          </coordinates>\n        </LineString>\n      </Placemark>\n";
}

}  // namespace

std::string liveKmlDocument(const std::vector<LiveTrack>& tracks, const formats::Station& station)
{
    std::string s =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"
        "  <Document>\n    <name>Radiosondes, live</name>\n";
    s += kStyles;
    s += formats::kmlStationPlacemark(station);
    const std::string stationAt = kmlCoordinates(station.latitude, station.longitude, station.altitude);
    for (const LiveTrack& t : tracks) {
        const LivePoint& now = t.points.back();
        const std::string serial = xmlEscaped(t.serial);
        const std::string at = kmlCoordinates(now.latitude, now.longitude, now.altitude);
        s += "    <Folder>\n      <name>" + serial + "</name>\n";
        std::string coordinates;
        for (const LivePoint& p : t.points)
            coordinates += "            " + kmlCoordinates(p.latitude, p.longitude, p.altitude) + "\n";
        s += line(serial + " track", "track", true, coordinates);
        s += point(serial, t.descending ? "descending" : "ascending",
                   std::string(t.descending ? "descending" : "ascending") + ", altitude " +
                       number("%.0f", static_cast<double>(now.altitude)) + " m",
                   formats::formatIsoTime(now.timeMs), at);
        s += line(serial + " line of sight", "sight", false,
                  "            " + stationAt + "\n            " + at + "\n");
        if (t.prediction.valid) {
            const PredictedPoint& l = t.prediction.landing;
            s += point(serial + " predicted landing", "landing",
                       "predicted landing at " + formats::formatIsoTime(l.timeMs), formats::formatIsoTime(l.timeMs),
                       kmlCoordinates(static_cast<float>(l.latitude), static_cast<float>(l.longitude),
                                      static_cast<float>(l.altitude)));
        }
        s += "    </Folder>\n";
    }
    return s + "  </Document>\n</kml>\n";
}

std::string networkLinkDocument(const std::string& href, int refreshSeconds)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"
           "  <NetworkLink>\n    <name>Radiosondes, live</name>\n    <open>1</open>\n"
           "    <refreshVisibility>0</refreshVisibility>\n    <flyToView>0</flyToView>\n"
           "    <Link>\n      <href>" + xmlEscaped(href) + "</href>\n      <refreshMode>onInterval</refreshMode>\n"
           "      <refreshInterval>" + std::to_string(refreshSeconds) + "</refreshInterval>\n    </Link>\n"
           "  </NetworkLink>\n</kml>\n";
}

std::string linkPathFor(const std::string& path)
{
    const std::string suffix = ".kml";
    if (path.size() > suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0)
        return path.substr(0, path.size() - suffix.size()) + "-link.kml";
    return path + "-link.kml";
}

}  // namespace nimbra::outputs
