#include "synth/flight_plan.h"

#include <cmath>

#include "flight/local_plane.h"
#include "synth/flight.h"

namespace nimbra::synth {

namespace {

bool atSecond(double atS, double timeS) { return std::fabs(atS - timeS) < 0.5; }

}  // namespace

std::vector<PlannedBlock> planBlocks(const Trajectory& trajectory, std::uint16_t transmitterId,
                                     std::uint16_t firstCounter, const FlightFaults& faults)
{
    std::vector<PlannedBlock> plan;
    plan.reserve(trajectory.points.size());
    for (std::size_t i = 0; i < trajectory.points.size(); ++i) {
        const TrajectoryPoint& p = trajectory.points[i];
        PlannedBlock b;
        b.transmitterId = transmitterId;
        for (const auto& change : faults.identifiers)
            if (p.timeS >= change.atS - 0.5)
                b.transmitterId = change.id;
        b.timeCounter = static_cast<std::uint16_t>(firstCounter + i);
        double latitude = p.latitude;
        double longitude = p.longitude;
        for (const auto& d : faults.displaced)
            if (atSecond(d.atS, p.timeS)) {
                flight::moveBy(latitude, longitude, d.metres / std::sqrt(2.0), d.metres / std::sqrt(2.0));
                b.injected = true;
            }
        for (const auto& w : faults.wrongCounters)
            if (atSecond(w.atS, p.timeS)) {
                b.timeCounter = static_cast<std::uint16_t>(b.timeCounter + w.delta);
                b.injected = true;
            }
        b.latitudeRaw = degreesToRaw(latitude);
        b.longitudeRaw = degreesToRaw(longitude);
        b.altitudeMm = static_cast<std::int32_t>(std::llround(p.altitude * 1000.0));
        for (const auto& g : faults.gaps)
            if (p.timeS >= g.startS - 0.5 && p.timeS < g.startS + g.lengthS - 0.5)
                b.sent = false;
        plan.push_back(b);
    }
    return plan;
}

}  // namespace nimbra::synth
