// Audio output: rounding to 16-bit PCM and writing a canonical mono WAVE file.
//
// In:  audio in PCM units (floats), or 16-bit samples.
// Out: 16-bit samples (rounded to nearest, clipped to -32768..32767, the number of clipped
//      samples reported); a RIFF/WAVE file with a 44-byte header, PCM, 16-bit, one channel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace nimbra::synth {

std::vector<std::int16_t> toPcm16(const std::vector<float>& audio, std::size_t* clipped = nullptr);

// Returns false and sets `error` when the file cannot be written.
bool writeWaveMono16(const std::string& path, const std::vector<std::int16_t>& samples,
                     int sampleRate, std::string& error);

// The 44-byte header of a mono 16-bit PCM WAVE file holding `sampleCount` samples.
std::vector<std::uint8_t> waveHeaderMono16(std::size_t sampleCount, int sampleRate);

// The 44-byte header of a WAVE file of `frames` frames of `channels` samples each, integer PCM
// or IEEE float.
std::vector<std::uint8_t> waveHeader(std::size_t frames, int sampleRate, int channels,
                                     int bitsPerSample, bool isFloat);

}  // namespace nimbra::synth
