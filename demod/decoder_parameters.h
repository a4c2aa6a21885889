// DecoderParameters: the sixteen values that steer demodulation, packet handling, geometry,
// display and recording. Each field is named by its settings key. The member initialisers are the
// first-run values. The GUI thread writes them, the decoding thread reads them (and writes
// `threshold` while `autoThreshold` is set); each is one relaxed 32-bit atomic.
#pragma once

#include "demod/relaxed.h"

namespace nimbra {

struct DecoderParameters {
    Relaxed<int> recordDecodedText{0};     // flag: also append lines to decodedRecordText
    Relaxed<int> updateBadCrcPackets{0};   // flag: decode and show blocks with a bad checksum
    Relaxed<int> autoThreshold{1};         // flag: threshold follows 1.225 x RMS
    Relaxed<int> doFiltering{0};           // flag: conditioning filter on
    Relaxed<int> invertSignal{0};          // flag: negate every sample
    Relaxed<int> demodType{0};             // 0 Edge, 1 Level, 2 Pattern (3 Sync)
    Relaxed<int> rejectBogus{0};           // flag: plausibility test on
    Relaxed<float> samplesPerBit{4.992f};  // Pattern bit length, samples
    Relaxed<float> maxRange{250.0f};       // km, plausibility range limit
    Relaxed<float> userLat{39.75f};        // degrees, north positive
    Relaxed<float> userLon{-76.98f};       // degrees, east positive
    Relaxed<float> userAlt{220.0f};        // metres
    Relaxed<int> displayPsuData{0};        // flag: append psuText to lines
    Relaxed<int> displayCalibrationData{0};  // flag: append calibrationText to lines
    Relaxed<float> threshold{0.0f};        // slicer threshold, conditioned-sample units
    Relaxed<int> soundInputDeviceIndex{0};  // position in the audio input device list
};

}  // namespace nimbra
