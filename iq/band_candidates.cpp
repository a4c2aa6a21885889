#include "iq/band_candidates.h"

#include <algorithm>
#include <cmath>

namespace nimbra::iq {

namespace {

constexpr double kTakenMarginHz = 1000.0;
// Partners within this much of each other's level count as equally likely (the humps of one
// sonde differ by a dB or two in a quarter second's spectrum); a line ranks this many steps down.
constexpr double kPartnerLevelStepDb = 3.0;
constexpr double kLinePenaltySteps = 2.0;

Span spanOf(const SpectrumRegion& r) { return {r.lowHz, r.highHz}; }

bool isTaken(const Span& s, const std::vector<TakenSpan>& taken)
{
    for (const TakenSpan& t : taken)
        if (s.overlaps(t.span, kTakenMarginHz))
            return true;
    return false;
}

bool isImage(const SpectrumRegion& r, const std::vector<TakenSpan>& taken)
{
    const Span mirror{-r.highHz, -r.lowHz};
    for (const TakenSpan& t : taken)
        if (mirror.overlaps(t.span, kTakenMarginHz) && t.levelDb >= r.levelDb + kImageMarginDb)
            return true;
    return false;
}

}  // namespace

std::vector<Candidate> findCandidates(const BandView& view, const std::vector<TakenSpan>& taken)
{
    std::vector<Candidate> out;
    const std::vector<SpectrumRegion>& regions = view.regions;
    for (std::size_t i = 0; i < regions.size(); ++i) {
        const SpectrumRegion& r = regions[i];
        if (r.line || isTaken(spanOf(r), taken) || isImage(r, taken))
            continue;
        Candidate c;
        c.region = r;
        c.alternatives.push_back(spanOf(r));
        // Neighbours as the other hump of a wide deviation, the likeliest first: the two tones
        // of a keyed pair carry the same power, while a strong wide sonde also raises weaker
        // regions between them (its keying's sidebands), and a carrier is no tone being keyed.
        // Nearest first among equals.
        std::vector<std::size_t> near;
        for (std::size_t j = 0; j < regions.size(); ++j) {
            if (j == i)
                continue;
            const double apart = std::fabs(regions[j].centreHz() - r.centreHz());
            if (apart <= kMaxPairHz && !isTaken(spanOf(regions[j]), taken))
                near.push_back(j);
        }
        const auto unlikeness = [&](std::size_t j) {
            return std::round(std::fabs(regions[j].levelDb - r.levelDb) / kPartnerLevelStepDb) +
                   (regions[j].line ? kLinePenaltySteps : 0.0);
        };
        std::sort(near.begin(), near.end(), [&](std::size_t a, std::size_t b) {
            const double ua = unlikeness(a), ub = unlikeness(b);
            if (ua != ub)
                return ua < ub;
            return std::fabs(regions[a].centreHz() - r.centreHz()) < std::fabs(regions[b].centreHz() - r.centreHz());
        });
        for (std::size_t j : near) {
            const Span pair{std::min(r.lowHz, regions[j].lowHz), std::max(r.highHz, regions[j].highHz)};
            if (!isTaken(pair, taken))
                c.alternatives.push_back(pair);
        }
        out.push_back(std::move(c));
    }
    std::sort(out.begin(), out.end(),
              [](const Candidate& a, const Candidate& b) { return a.region.levelDb > b.region.levelDb; });
    return out;
}

}  // namespace nimbra::iq
