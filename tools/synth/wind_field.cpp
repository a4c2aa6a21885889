#include "synth/wind_field.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "synth/random.h"

namespace nimbra::synth {

namespace {

constexpr double kPi = 3.14159265358979323846;

double between(Random& r, double lo, double hi) { return lo + (hi - lo) * r.uniform(); }

double smoothStep(double x) { return x <= 0.0 ? 0.0 : (x >= 1.0 ? 1.0 : x * x * (3.0 - 2.0 * x)); }

// Wind of a speed blowing towards a direction (radians from north through east).
Wind towards(double speed, double direction) { return {speed * std::sin(direction), speed * std::cos(direction)}; }

}  // namespace

WindField WindField::seeded(std::uint64_t seed, double driftMps)
{
    Random r(seed * 0x2545F4914F6CDD1Dull + 0x57494E44ull);
    WindField f;
    f.seededProfile_ = true;
    f.jetSpeed_ = between(r, 10.0, 45.0);
    f.jetAltitude_ = between(r, 9000.0, 12500.0);
    f.jetWidth_ = between(r, 2500.0, 4500.0);
    f.jetDirection_ = between(r, 0.0, 2.0 * kPi);
    f.surfaceSpeed_ = between(r, 1.0, 8.0);
    f.surfaceDirection_ = f.jetDirection_ + between(r, -1.2, 1.2);
    f.stratoSpeed_ = between(r, 0.0, 15.0);
    f.stratoDirection_ = between(r, 0.0, 2.0 * kPi);
    for (auto* list : {&f.eastRipples_, &f.northRipples_}) {
        for (int k = 0; k < 5; ++k)
            list->push_back({between(r, 1000.0, 8000.0), between(r, 0.5, 2.5), between(r, 0.0, 2.0 * kPi), 0.0, 0.0});
        if (driftMps > 0.0)
            for (int k = 0; k < 3; ++k)
                list->push_back({between(r, 2000.0, 10000.0), driftMps, between(r, 0.0, 2.0 * kPi),
                                 between(r, 3.0, 8.0) * 3600.0, between(r, 0.0, 2.0 * kPi)});
    }
    return f;
}

double WindField::ripples(const std::vector<Ripple>& list, double altitudeM, double timeS)
{
    double sum = 0.0;
    for (const Ripple& p : list) {
        double v = p.amplitudeMps * std::sin(2.0 * kPi * altitudeM / p.wavelengthM + p.phase);
        if (p.periodS > 0.0)
            v *= std::sin(2.0 * kPi * timeS / p.periodS + p.timePhase);
        sum += v;
    }
    return sum;
}

Wind WindField::at(double altitudeM, double timeS) const
{
    if (seededProfile_) {
        const double h = altitudeM < 0.0 ? 0.0 : altitudeM;
        const double z = (h - jetAltitude_) / jetWidth_;
        const Wind jet = towards(jetSpeed_ * std::exp(-0.5 * z * z), jetDirection_);
        const Wind surface = towards(surfaceSpeed_ * std::exp(-h / 3000.0), surfaceDirection_);
        const Wind strato = towards(stratoSpeed_ * smoothStep((h - 18000.0) / 6000.0), stratoDirection_);
        return {jet.eastMps + surface.eastMps + strato.eastMps + ripples(eastRipples_, h, timeS),
                jet.northMps + surface.northMps + strato.northMps + ripples(northRipples_, h, timeS)};
    }
    if (rows_.empty())
        return {};
    if (altitudeM <= rows_.front().altitudeM)
        return rows_.front().wind;
    if (altitudeM >= rows_.back().altitudeM)
        return rows_.back().wind;
    std::size_t i = 1;
    while (rows_[i].altitudeM < altitudeM)
        ++i;
    const Row& a = rows_[i - 1];
    const Row& b = rows_[i];
    const double f = (altitudeM - a.altitudeM) / (b.altitudeM - a.altitudeM);
    return {a.wind.eastMps + f * (b.wind.eastMps - a.wind.eastMps),
            a.wind.northMps + f * (b.wind.northMps - a.wind.northMps)};
}

bool WindField::fromCsv(const std::string& path, WindField& field, std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    WindField f;
    char text[512];
    int lineNumber = 0;
    bool ok = true;
    while (ok && std::fgets(text, sizeof text, file)) {
        ++lineNumber;
        const char* p = text;
        while (*p == ' ' || *p == '\t')
            ++p;
        if (!(std::isdigit(static_cast<unsigned char>(*p)) || *p == '-' || *p == '+' || *p == '.'))
            continue;  // a header, a comment or an empty line
        double v[3];
        char* end = nullptr;
        for (int k = 0; k < 3 && ok; ++k) {
            v[k] = std::strtod(p, &end);
            ok = end != p && std::isfinite(v[k]);
            p = end;
            while (*p == ' ' || *p == '\t')
                ++p;
            if (k < 2) {
                ok = ok && *p == ',';
                ++p;
            }
        }
        ok = ok && (*p == '\0' || *p == '\n' || *p == '\r' || *p == ',');
        if (ok && !f.rows_.empty() && !(v[0] > f.rows_.back().altitudeM)) {
            error = path + ": line " + std::to_string(lineNumber) + ": altitudes must increase";
            std::fclose(file);
            return false;
        }
        if (ok)
            f.rows_.push_back({v[0], {v[1], v[2]}});
    }
    std::fclose(file);
    if (!ok) {
        error = path + ": line " + std::to_string(lineNumber) +
                ": expected altitude_m,east_mps,north_mps (three numbers)";
        return false;
    }
    if (f.rows_.empty()) {
        error = path + ": no rows of altitude_m,east_mps,north_mps";
        return false;
    }
    field = std::move(f);
    return true;
}

}  // namespace nimbra::synth
