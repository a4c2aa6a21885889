// ByteFramer: turns a stream of bits into asynchronous-serial characters (one start bit, eight
// data bits least significant first, one stop bit).
//
// In:  bits, one at a time (1 = mark, the idle line; 0 = space).
// Out: a complete character (0..255) when its stop bit arrives as a 1.
//
// A 0 where the stop bit belongs does not discard the character: it waits, through any number of
// 0 bits, and is handed over at the next 1 bit.
#pragma once

namespace nimbra {

struct ByteFramer {
    static constexpr int kIdle = 0;
    static constexpr int kData = 1;
    static constexpr int kStopExpected = 2;
    // At most this many bits of one value can change the framer; any further bits of the same
    // value leave it where it is (idle for 1 bits, waiting for the stop bit for 0 bits).
    static constexpr int kBitsThatMatter = 10;

    int state = kIdle;
    int bitCount = 0;       // data bits of the current character, 0..8
    int shiftRegister = 0;  // data bits enter at bit 8 and move down

    // Returns the completed character, or -1.
    int feedBit(int bit) noexcept
    {
        switch (state) {
        case kIdle:
            if (bit == 0) {
                bitCount = 0;
                shiftRegister = 0;
                state = kData;
            }
            return -1;
        case kData:
            ++bitCount;
            shiftRegister = (bit != 0 ? (shiftRegister | 256) : shiftRegister) >> 1;
            if (bitCount >= 8)
                state = kStopExpected;
            return -1;
        default:  // kStopExpected
            if (bit == 0)
                return -1;
            state = kIdle;
            return shiftRegister & 0xFF;
        }
    }
};

}  // namespace nimbra
