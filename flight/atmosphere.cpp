#include "flight/atmosphere.h"

#include <cmath>
#include <vector>

namespace nimbra::flight {

namespace {

constexpr double kEarthRadiusM = 6356766.0;
constexpr double kG0 = 9.80665;             // m/s^2
constexpr double kAirGasConstant = 287.0531;  // J/(kg K): 8.31432 / 0.0289644
constexpr double kMinAltitudeM = -5000.0;
constexpr double kMaxAltitudeM = 86000.0;

struct Layer {
    double baseM;    // geopotential altitude of the layer's base
    double baseK;    // temperature there
    double lapseKm;  // K per metre of geopotential altitude
};

constexpr Layer kLayers[] = {
    {0.0, 288.15, -0.0065},  {11000.0, 216.65, 0.0},    {20000.0, 216.65, 0.001},
    {32000.0, 228.65, 0.0028}, {47000.0, 270.65, 0.0},  {51000.0, 270.65, -0.0028},
    {71000.0, 214.65, -0.002},
};
constexpr int kLayerCount = sizeof kLayers / sizeof kLayers[0];
constexpr double kSeaLevelPa = 101325.0;

// Pressure at the top of a layer of this thickness, from the pressure at its base.
double pressureAcross(const Layer& layer, double thicknessM, double basePa)
{
    if (layer.lapseKm == 0.0)
        return basePa * std::exp(-kG0 * thicknessM / (kAirGasConstant * layer.baseK));
    const double top = layer.baseK + layer.lapseKm * thicknessM;
    return basePa * std::pow(layer.baseK / top, kG0 / (kAirGasConstant * layer.lapseKm));
}

}  // namespace

double geopotentialAltitude(double geometricM) { return kEarthRadiusM * geometricM / (kEarthRadiusM + geometricM); }

AirState standardAtmosphere(double geometricM)
{
    if (!(geometricM >= kMinAltitudeM))  // also NaN
        geometricM = kMinAltitudeM;
    if (geometricM > kMaxAltitudeM)
        geometricM = kMaxAltitudeM;
    const double h = geopotentialAltitude(geometricM);
    int i = 0;
    double basePa = kSeaLevelPa;
    while (i + 1 < kLayerCount && h >= kLayers[i + 1].baseM) {
        basePa = pressureAcross(kLayers[i], kLayers[i + 1].baseM - kLayers[i].baseM, basePa);
        ++i;
    }
    const Layer& layer = kLayers[i];
    AirState air;
    air.temperatureK = layer.baseK + layer.lapseKm * (h - layer.baseM);
    air.pressurePa = pressureAcross(layer, h - layer.baseM, basePa);
    air.densityKgM3 = air.pressurePa / (kAirGasConstant * air.temperatureK);
    return air;
}

double exactDescentFactor(double geometricM)
{
    static const double seaLevel = standardAtmosphere(0.0).densityKgM3;
    return std::sqrt(seaLevel / standardAtmosphere(geometricM).densityKgM3);
}

double descentFactor(double geometricM)
{
    // The predictor asks for this a thousand times per fix: a table every kTableStepM, linear in
    // between (relative error below 1e-6, the density varies smoothly within each step).
    constexpr double kTableStepM = 10.0;
    constexpr int kEntries = static_cast<int>((kMaxAltitudeM - kMinAltitudeM) / kTableStepM) + 1;
    static const std::vector<double> table = [] {
        std::vector<double> t(kEntries);
        for (int i = 0; i < kEntries; ++i)
            t[static_cast<std::size_t>(i)] = exactDescentFactor(kMinAltitudeM + i * kTableStepM);
        return t;
    }();
    if (!(geometricM > kMinAltitudeM))  // also NaN
        return table.front();
    const double x = (geometricM - kMinAltitudeM) / kTableStepM;
    if (x >= kEntries - 1)
        return table.back();
    const auto i = static_cast<std::size_t>(x);
    const double f = x - static_cast<double>(i);
    return table[i] + f * (table[i + 1] - table[i]);
}

}  // namespace nimbra::flight
