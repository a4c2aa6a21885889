// TonePairSearch: decides whether a piece of a channel is a sonde, and where its two tones are.
//
// In:  complex samples of a channel (its centre at 0 Hz) at the channel's rate, some half a
//      second or more; the span to search, Hz against the channel's centre; the noise: the
//      variance per sample the receiver's white noise has at this rate (from the band's
//      spectrum), or 0 to measure it in the samples themselves (the channel must then be wide
//      enough to leave a good part of it to noise).
// Out: the tones (centre and deviation, the lower tone the mark), their level above the noise,
//      and whether they pass as a sonde: two tones that take turns, keyed at 9,600 bit/s.
//
// The signal is cut into windows two bits long, one bit apart, and each window's power is taken
// at every frequency of the span (a zero-padded FFT; a window matched to a tone that holds for
// both bits). For a pair of frequencies, E_low is the mean over windows of how much the lower
// frequency's power exceeds the upper's, E_high the same the other way; the pair's score is
// sqrt(E_low E_high). It is large only when each of the two is clearly the stronger for a good
// share of the windows, which is what the two tones of FSK do and nothing else in a band does:
//   - a carrier (a spur, the DC spike, a sonde's idle tone) paired with anything wins every
//     window or none: one of the two means is near zero;
//   - one tone paired with the middle of the signal (half the deviation) wins its own windows,
//     but the middle never clearly beats it: the other tone's power leaks into the middle less
//     than into nothing;
//   - tones of two different sondes are both strong at once much of the time.
// The best pair is refined between frequencies and then has to pass as a sonde:
//   - each tone the clearly stronger in at least 3 % of the windows;
//   - both strong at once in at most 10 % of the windows (a pair from two signals);
//   - their levels within 8 dB of each other when they win (one transmitter);
//   - the keying: squared, the difference of the two tones' one-bit correlations carries a line
//     at the bit rate (it dips at every change of tone, a bit apart); its strength, taken over
//     short pieces so that a bit rate off by 2,500 ppm stays in step, against the same at
//     frequencies no keying makes.
// Allocates; for acquisition, a few times a second at most.
#pragma once

#include <complex>
#include <string>
#include <vector>

namespace nimbra::iq {

struct TonePair {
    bool found = false;       // a pair was scored (there was signal in the span)
    bool sonde = false;       // it passes every test above
    double centreHz = 0.0;    // against the channel's centre
    double deviationHz = 0.0;
    double levelDb = 0.0;     // a winning tone's power in a window against the noise's
    double lowShare = 0.0, highShare = 0.0;  // windows each tone clearly won
    double bothShare = 0.0;   // windows both were strong
    double balanceDb = 0.0;   // upper tone's winning power against the lower's
    double keying = 0.0;      // the bit-rate line against its neighbourhood
    std::string why;          // what failed, for diagnostics
};

struct TonePairLimits {
    double minDeviationHz = 1500.0;
    double maxDeviationHz = 110000.0;
    double bitRate = 9600.0;
};

TonePair searchTonePair(const std::vector<std::complex<float>>& samples, double rate, double spanLowHz,
                        double spanHighHz, double noiseVariance = 0.0, const TonePairLimits& limits = {});

}  // namespace nimbra::iq
