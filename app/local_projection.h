// LocalProjection: positions as kilometres east and north of the station, for the track view.
//
// An equirectangular projection about the station: north is the arc along the meridian, east
// the arc along the station's parallel. Within the few hundred kilometres a sonde is received
// over, it is within a percent or so of the true ground distance, and it maps straight lines of
// latitude and longitude to the grid, as a chase map drawn north up does.
#pragma once

#include <algorithm>
#include <cmath>

namespace nimbra {

struct PlanePoint {
    double east = 0.0;   // km
    double north = 0.0;  // km
};

class LocalProjection {
public:
    static constexpr double kEarthRadiusKm = 6371.0088;  // mean radius

    LocalProjection(double latitude = 0.0, double longitude = 0.0)
        : latitude_(latitude), longitude_(longitude),
          cosLatitude_(std::max(1e-6, std::cos(latitude * kRadians)))
    {
    }

    PlanePoint toPlane(double latitude, double longitude) const
    {
        double dLon = longitude - longitude_;
        dLon -= 360.0 * std::floor((dLon + 180.0) / 360.0);  // the short way round
        return {kEarthRadiusKm * dLon * kRadians * cosLatitude_,
                kEarthRadiusKm * (latitude - latitude_) * kRadians};
    }
    double latitudeOf(const PlanePoint& p) const { return latitude_ + p.north / (kEarthRadiusKm * kRadians); }
    double longitudeOf(const PlanePoint& p) const
    {
        return longitude_ + p.east / (kEarthRadiusKm * kRadians * cosLatitude_);
    }

private:
    static constexpr double kRadians = 3.14159265358979323846 / 180.0;
    double latitude_;
    double longitude_;
    double cosLatitude_;
};

}  // namespace nimbra
