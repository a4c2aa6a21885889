// Flight: a radiosonde flight as a serial bit stream, with the fixes a decoder should report.
//
// In:  FlightSettings (station, launch, ascent, drift, timing, deliberate faults).
// Out: the line bits of the whole recording (idle, then every second a PTU block and half a
//      second later a GPS block, each after the sync characters 0xCA 0xCA, idle in between), and
//      one ExpectedFix per GPS block sent, in order.
//
// The recording starts with a PTU block, as a recording that begins mid-flight would: a slicer
// still settling on the first noisy samples may lose that block, never a fix. It ends with the
// sync characters of a block that is cut off, so that a decoder that hands over a character only
// when the line next changes still completes the last GPS block.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "synth/flight_plan.h"
#include "synth/serial_line.h"

namespace nimbra::synth {

struct FlightSettings {
    int gpsBlocks = 90;                 // one per second
    std::uint16_t transmitterId = 0x1A2B;
    std::uint16_t firstCounter = 1200;  // time counter of the first GPS block, seconds
    double stationLat = 39.75;          // degrees, north positive
    double stationLon = -76.98;         // degrees, east positive
    double stationAlt = 220.0;          // metres
    double launchNorthM = 150.0;        // launch site relative to the station, metres
    double launchEastM = -250.0;
    double ascentRate = 5.0;            // m/s
    double windEast = 7.0;              // m/s, drift towards the east
    double windNorth = -2.5;            // m/s, drift towards the north
    int numSatellites = 8;
    double samplesPerBit = 4.992;
    double leadInS = 0.25;              // idle before the first block
    double gpsOffsetS = 0.5;            // GPS block this long after each PTU block starts
    bool sendPtu = true;
    int corruptEvery = 0;               // every Nth GPS block gets a bad checksum (0: none)
    // Every Nth GPS block (0: none) carries a position no real flight has, in turn: an altitude
    // below 0, an altitude above 50 km, a latitude beyond the pole, a fix 3 degrees north of
    // the flight (farther than the default range limit of 250 km).
    int bogusEvery = 0;
    // When not empty, the GPS blocks carry these (a realistic flight, gaps, staged faults) in
    // place of the straight drift above, one a second; gpsBlocks is then the plan's length.
    std::vector<PlannedBlock> plan;
};

struct ExpectedFix {
    std::uint16_t transmitterId = 0;
    std::uint16_t timeCounter = 0;
    std::int32_t latitudeRaw = 0;
    std::int32_t longitudeRaw = 0;
    std::int32_t altitudeMm = 0;
    bool crcGood = true;
    bool bogus = false;                  // an impossible position (FlightSettings::bogusEvery)
    bool hasPtu = false;                 // a PTU block was sent before this fix
    std::array<double, 13> ptu{};        // channel values of the latest PTU block sent
    double endTimeS = 0.0;               // end of the block's last bit, seconds into the audio
    bool injected = false;               // a staged fault: good checksum, wrong content
};

struct Flight {
    SerialLine line;
    std::vector<ExpectedFix> fixes;
    int gpsBlocks = 0;
    int ptuBlocks = 0;
    int corruptedBlocks = 0;
    int bogusBlocks = 0;
};

Flight makeFlight(const FlightSettings& settings);

// The values as the decoded-text line prints them: "39.75000N", "76.98000W", "220", and the
// part of the line after its time stamp: "1A2B 1200 39.75000N 76.98000W 220".
// Degrees of a raw position value, rounded to a 32-bit float as the decoder holds it.
double rawToDegrees(std::int32_t raw);
// The raw position value (degrees x 2^31 / 180) nearest to a position in degrees.
std::int32_t degreesToRaw(double degrees);
std::string formatLatitude(std::int32_t raw);
std::string formatLongitude(std::int32_t raw);
std::string formatAltitude(std::int32_t altitudeMm);
std::string expectedLineTail(const ExpectedFix& fix);

// CSV with a header row: id,counter,latitude,longitude,altitude,lat_deg,lon_deg,alt_m,crc_good,
// end_s,ptu (the thirteen channel values separated by spaces, empty before the first PTU block),
// injected (1 for a staged fault).
bool writeExpectedCsv(const std::string& path, const std::vector<ExpectedFix>& fixes,
                      std::string& error);

}  // namespace nimbra::synth
