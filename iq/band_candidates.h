// Band candidates: the places in the band's view worth probing for a sonde.
//
// In:  a BandView (band_spectrum.h) and the spans already taken by channels and probes, each with
//      its level.
// Out: candidates, strongest first: a span to search for a pair of tones, and the alternatives
//      the receiver tries in turn when the first finds none.
//
// A candidate starts from a modulated region (a line is a carrier: a spur, the DC spike, a sonde
// idling; its keying has to show first). Tones close together make one hump, the region itself;
// tones far apart make two humps, so each neighbouring region within reach of the widest
// deviation is an alternative, the span then covering both. Never a candidate:
//   - a region that overlaps a taken span (the other tone of a sonde already decoded, or a
//     sonde being probed);
//   - the image of a taken span: mirrored about the tuning and at least kImageMarginDb weaker
//     (a dongle's I/Q imbalance puts one there).
#pragma once

#include <vector>

#include "iq/band_spectrum.h"

namespace nimbra::iq {

struct Span {
    double lowHz = 0.0, highHz = 0.0;
    double centreHz() const { return 0.5 * (lowHz + highHz); }
    double widthHz() const { return highHz - lowHz; }
    bool overlaps(const Span& o, double marginHz = 0.0) const
    {
        return lowHz - marginHz < o.highHz && o.lowHz < highHz + marginHz;
    }
};

struct TakenSpan {
    Span span;
    double levelDb = 0.0;
};

struct Candidate {
    SpectrumRegion region;          // the modulated region it starts from
    std::vector<Span> alternatives;  // the region alone, then paired with each neighbour
};

constexpr double kImageMarginDb = 10.0;
constexpr double kMaxPairHz = 230000.0;  // two humps at most this far apart: deviation 110 kHz

std::vector<Candidate> findCandidates(const BandView& view, const std::vector<TakenSpan>& taken);

}  // namespace nimbra::iq
