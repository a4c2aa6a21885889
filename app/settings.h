// Persistence of the decoder parameters in the per-user settings store (QSettings, organization
// kOrganization, application "Nimbra", all keys at the top level).
//
// LoadSettings reads every key when `settingsAreOK` is non-zero and otherwise applies the
// first-run values; it writes nothing. SaveSettings writes `settingsAreOK` = 1 and every key.
//
// Beside `soundInputDeviceIndex`, the sound input's device is kept by its id and description
// (`soundInputDeviceId`, `soundInputDeviceDescription`), which find it again wherever it stands
// in the list. `soundInputRetrySeconds`, written by hand only, replaces the waits between tries
// to get a lost sound input back (numbers separated by spaces, e.g. "1 2 5 10").
#pragma once

#include "sources/capture_control.h"

namespace nimbra {

struct DecoderParameters;

extern const char* const kOrganization;
extern const char* const kApplication;

void LoadSettings(DecoderParameters& params);
void SaveSettings(const DecoderParameters& params);

// The remembered sound input device (null when none is stored), and its saving (nothing is
// written for a null device, so that the last known one stays).
CaptureDevice LoadCaptureDevice();
void SaveCaptureDevice(const CaptureDevice& device);
// The capture timing: the defaults, with the waits from `soundInputRetrySeconds` when it holds
// positive numbers.
CaptureTiming LoadCaptureTiming();

}  // namespace nimbra
