// Flight plan: what each GPS block of a synthetic flight carries, one block a second, from a
// trajectory and the faults to stage: gaps without signal, blocks with a good checksum but wrong
// content, a change of identifier.
//
// In:  a Trajectory (one reported position a second), the identifier and first time counter,
//      and FlightFaults.
// Out: one PlannedBlock per second of the trajectory. A block inside a gap is not sent (nor its
//      PTU block); the sonde's counter goes on counting through the gap.
//
// Faults, each at a second of the flight (seconds since launch):
//   gap START LENGTH       no signal from START for LENGTH seconds;
//   position T METRES      the block at T reports a position METRES to the north-east of the true
//                          one (an undetected error in the position fields);
//   counter T DELTA        the block at T carries its time counter plus DELTA;
//   identifier T ID        from T on, the blocks carry the identifier ID (another sonde taking
//                          over the channel).
#pragma once

#include <cstdint>
#include <vector>

#include "synth/trajectory.h"

namespace nimbra::synth {

struct PlannedBlock {
    bool sent = true;
    std::uint16_t transmitterId = 0;
    std::uint16_t timeCounter = 0;
    std::int32_t latitudeRaw = 0;   // degrees x 2^31 / 180
    std::int32_t longitudeRaw = 0;
    std::int32_t altitudeMm = 0;
    bool injected = false;          // staged fault: good checksum, wrong content
};

struct FlightFaults {
    struct Gap {
        double startS;
        double lengthS;
    };
    struct Displaced {
        double atS;
        double metres;
    };
    struct WrongCounter {
        double atS;
        int delta;
    };
    struct NewIdentifier {
        double atS;
        std::uint16_t id;
    };
    std::vector<Gap> gaps;
    std::vector<Displaced> displaced;
    std::vector<WrongCounter> wrongCounters;
    std::vector<NewIdentifier> identifiers;
};

std::vector<PlannedBlock> planBlocks(const Trajectory& trajectory, std::uint16_t transmitterId,
                                     std::uint16_t firstCounter, const FlightFaults& faults = {});

}  // namespace nimbra::synth
