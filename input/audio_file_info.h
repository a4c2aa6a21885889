// AudioFileInfo: what an audio file's header says, read through libsndfile without decoding it,
// so that a program can choose how to read the file before it starts.
//
// In:  a path.
// Out: the container and sample format, rate, channels and length; `plainWave` when the file is
//      a WAVE of 16-bit PCM, one channel, 48,000 samples/s: exactly what the decoder takes, which
//      the desktop program reads raw, byte for byte, as it always has. On failure `readable` is
//      false and `error` says why in words for the user.
#pragma once

#include <cstdint>
#include <string>

namespace nimbra::input {

struct AudioFileInfo {
    bool readable = false;
    bool plainWave = false;
    int channels = 0;
    int sampleRate = 0;
    std::int64_t frames = 0;
    std::string format;  // e.g. "WAV (Microsoft), 32 bit float, 44100 Hz, 2 channels"
    std::string error;
};

AudioFileInfo readAudioFileInfo(const std::string& path);

}  // namespace nimbra::input
