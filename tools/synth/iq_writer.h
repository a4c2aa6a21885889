// IqWriter: complex samples to a file or standard output in the formats SDR tools write.
//
// In:  a format ("cu8", "cs8", "cs16", "cf32": raw interleaved I, Q; "wav": two-channel 16-bit
//      WAVE; "wav-float": two-channel 32-bit float WAVE), the rate, the number of samples that
//      will follow (for the WAVE header), a gain; then blocks of complex samples.
// Out: the bytes, written as the blocks come (a long flight at 2.4 MS/s is never held whole).
//      Integer formats are rounded and clipped to full scale (the clipped values are counted);
//      full scale is 1.0 before quantisation.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace nimbra::synth {

enum class IqFileFormat { Cu8, Cs8, Cs16, Cf32, Wave16, WaveFloat };

std::optional<IqFileFormat> parseIqFileFormat(const std::string& name);

// The gain that puts signal and noise at an RMS of 0.2 of full scale per component: far enough
// below full scale that Gaussian noise almost never clips, far enough above the 8-bit step that
// quantisation adds almost nothing.
double iqGainFor(double noiseSigmaPerComponent);

class IqWriter {
public:
    IqWriter() = default;
    ~IqWriter();
    IqWriter(const IqWriter&) = delete;
    IqWriter& operator=(const IqWriter&) = delete;

    // `path` "-" writes to standard output. False with `error` set when it cannot be opened.
    bool open(const std::string& path, IqFileFormat format, int sampleRate, std::size_t totalSamples,
              double gain, std::string& error);
    bool write(const std::vector<std::complex<float>>& samples, std::string& error);
    // Flushes and closes; false when anything could not be written.
    bool close(std::string& error);

    std::size_t clipped() const { return clipped_; }

private:
    std::FILE* file_ = nullptr;
    bool ownsFile_ = false;
    std::string path_;
    IqFileFormat format_ = IqFileFormat::Cu8;
    double gain_ = 1.0;
    std::size_t clipped_ = 0;
    std::vector<unsigned char> bytes_;
};

}  // namespace nimbra::synth
