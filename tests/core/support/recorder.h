// Recorder: what a decoder's listeners hear, kept past the calls (the bytes of a block and the
// line of a fix live only as long as the call that hands them over).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decoder/decoder.h"

namespace nimbra::testing {

struct Recorder {
    std::vector<PacketEvent> events;
    std::vector<std::vector<std::uint8_t>> eventBytes;
    std::vector<FixRecord> fixes;
    std::vector<std::string> lines;
    std::vector<std::int64_t> samplesAtFix;  // the decoder's samplesConsumed() when it was heard

    explicit Recorder(Decoder& d)
    {
        d.setPacketListener([this](const PacketEvent& e) {
            events.push_back(e);
            eventBytes.emplace_back(e.bytes, e.bytes + e.length);
        });
        d.setFixListener([this, &d](const FixRecord& f) {
            fixes.push_back(f);
            lines.emplace_back(f.line);
            samplesAtFix.push_back(d.samplesConsumed());
        });
    }
};

}  // namespace nimbra::testing
