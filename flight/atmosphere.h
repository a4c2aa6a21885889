// Standard atmosphere: temperature, pressure and density against altitude, after the 1976
// standard atmosphere (seven layers up to 84,852 m geopotential), and the density scaling of a
// parachute's descent rate.
//
// In:  geometric altitude in metres above mean sea level (a GPS altitude is near enough: the
//      geoid's few tens of metres change the density by well under 1 %).
// Out: temperature (K), pressure (Pa), density (kg/m^3); the descent factor sqrt(rho(0)/rho(h)).
//
// Below -5,000 m and above 86,000 m the values are those of the limits: a sonde never flies
// there, and a corrupted altitude must not give infinities or NaN.
#pragma once

namespace nimbra::flight {

struct AirState {
    double temperatureK = 0.0;
    double pressurePa = 0.0;
    double densityKgM3 = 0.0;
};

// Geopotential altitude of a geometric altitude (Earth radius 6,356,766 m), metres.
double geopotentialAltitude(double geometricM);

AirState standardAtmosphere(double geometricM);

// sqrt(rho(0) / rho(h)): how much faster a parachute falls at h than at sea level, since drag
// balances weight at a speed proportional to 1 / sqrt(rho).
// descentFactor is read from a table (10 m steps, linear in between, relative error below 1e-6);
// exactDescentFactor computes it from standardAtmosphere.
double descentFactor(double geometricM);
double exactDescentFactor(double geometricM);

}  // namespace nimbra::flight
