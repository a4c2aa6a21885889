// Persistence of the decoder parameters in the per-user settings store (QSettings, organization
// kOrganization, application "Nimbra", all keys at the top level).
//
// LoadSettings reads every key when `settingsAreOK` is non-zero and otherwise applies the
// first-run values; it writes nothing. SaveSettings writes `settingsAreOK` = 1 and every key.
#pragma once

namespace nimbra {

struct DecoderParameters;

extern const char* const kOrganization;
extern const char* const kApplication;

void LoadSettings(DecoderParameters& params);
void SaveSettings(const DecoderParameters& params);

}  // namespace nimbra
