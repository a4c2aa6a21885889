// Demodulator numbers: the values of the `demodType` parameter, which are also the positions of
// the demodulators in the main window's combo box and the names nimbra-decode's --demod takes.
#pragma once

namespace nimbra {

constexpr int kEdgeDemod = 0;     // "Edge Demod": rise or fall over three samples
constexpr int kLevelDemod = 1;    // "Level Demod": sign of two successive samples
constexpr int kPatternDemod = 2;  // "Pattern Demod": whole blocks on a fixed bit clock
constexpr int kSyncDemod = 3;     // "Sync Demod": bit clock re-anchored on every start bit

}  // namespace nimbra
