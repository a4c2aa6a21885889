// The format live capture asks for: 48,000 Hz, 16-bit signed, two channels. The device is asked
// for exactly this; the server converts.
#pragma once

#include <QAudioFormat>

namespace nimbra {

constexpr int kCaptureSampleRate = 48000;
constexpr int kCaptureChannels = 2;

// Half the duration of one fragment of bufferBytes, in whole milliseconds: how long the capture
// thread sleeps when the input has nothing ready.
constexpr int captureSleepIntervalMs(int bufferBytes)
{
    return bufferBytes * 250 / (kCaptureChannels * kCaptureSampleRate);
}

inline QAudioFormat captureFormat()
{
    QAudioFormat format;
    format.setSampleRate(kCaptureSampleRate);
    format.setChannelCount(kCaptureChannels);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

}  // namespace nimbra
