// ChannelFilter: Butterworth low-pass filters for the receiver model, as cascades of biquads.
//
// In:  order (even, 2 to 8), cut-off frequency and sample rate; then one value per call.
// Out: the filtered value. The state carries over between calls, so a long signal can be fed in
//      pieces and stays continuous.
//
// Designed by the bilinear transform with pre-warping; each biquad realises one conjugate pole
// pair of the analogue prototype. Double precision throughout: the model, not the decoder.
#pragma once

#include <array>
#include <cmath>

namespace nimbra::synth {

class ButterworthLowPass {
public:
    static constexpr int kMaxSections = 4;

    ButterworthLowPass() = default;
    ButterworthLowPass(int order, double cutoffHz, double sampleRate)
    {
        sections_ = order / 2;
        if (sections_ < 1)
            sections_ = 1;
        if (sections_ > kMaxSections)
            sections_ = kMaxSections;
        const double pi = 3.14159265358979323846;
        const double k = std::tan(pi * cutoffHz / sampleRate);
        const int n = 2 * sections_;
        for (int s = 0; s < sections_; ++s) {
            // Pole pair of the analogue prototype at angle theta from the imaginary axis.
            const double theta = pi * (2.0 * s + 1.0) / (2.0 * n);
            const double q = 1.0 / (2.0 * std::sin(theta));
            const double norm = 1.0 / (1.0 + k / q + k * k);
            Section& c = coef_[s];
            c.b0 = k * k * norm;
            c.b1 = 2.0 * c.b0;
            c.b2 = c.b0;
            c.a1 = 2.0 * (k * k - 1.0) * norm;
            c.a2 = (1.0 - k / q + k * k) * norm;
        }
    }

    bool active() const { return sections_ > 0; }

    double process(double x)
    {
        for (int s = 0; s < sections_; ++s) {
            const Section& c = coef_[s];
            State& st = state_[s];
            // Transposed direct form II: two state values per section.
            const double y = c.b0 * x + st.z1;
            st.z1 = c.b1 * x - c.a1 * y + st.z2;
            st.z2 = c.b2 * x - c.a2 * y;
            x = y;
        }
        return x;
    }

    void reset() { state_ = {}; }

private:
    struct Section {
        double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    };
    struct State {
        double z1 = 0, z2 = 0;
    };
    int sections_ = 0;
    std::array<Section, kMaxSections> coef_{};
    std::array<State, kMaxSections> state_{};
};

}  // namespace nimbra::synth
