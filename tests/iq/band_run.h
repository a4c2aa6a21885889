// A synthesized band through the receiver, as a dongle would deliver it: the band rendered,
// given the dongle's faults, quantised to unsigned 8 bits and read back (rtl_sdr's cu8), fed in
// reads of 65,536 samples; every block decoded by its channel's own decoder.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <vector>

#include "iq/band_receiver.h"
#include "iq/iq_format.h"
#include "sondes/sonde_decoders.h"
#include "synth/band.h"
#include "synth/dongle.h"

namespace iqtest {

struct BandRun {
    std::vector<nimbra::iq::ChannelEvent> events;
    std::vector<nimbra::FlightFix> fixes;      // every channel's, in time order
    std::map<int, std::vector<unsigned>> idsByChannel;  // transmitter of every good GPS block
    int blocks = 0;
    std::vector<nimbra::synth::ExpectedFix> expected;
    std::vector<nimbra::iq::ChannelStatus> channels;  // as they were at the end

    int takenUp() const
    {
        return static_cast<int>(std::count_if(events.begin(), events.end(), [](const nimbra::iq::ChannelEvent& e) {
            return e.kind == nimbra::iq::ChannelEvent::Kind::TakenUp;
        }));
    }
};

inline BandRun runBand(const nimbra::synth::BandSettings& band, const nimbra::synth::DongleSettings& dongle = {},
                       nimbra::iq::ReceiverSettings settings = {},
                       const std::function<void(nimbra::iq::BandReceiver&)>& atStart = {})
{
    BandRun run;
    nimbra::synth::Band b(band);
    run.expected = b.expected();
    const nimbra::synth::Dongle d(dongle, b.meanPower());
    nimbra::iq::BandReceiver receiver(band.sampleRate, settings);
    nimbra::SondeDecoders decoders([](nimbra::Decoder&) {}, {}, std::nullopt, false);
    receiver.setEventSink([&](const nimbra::iq::ChannelEvent& e) { run.events.push_back(e); });
    receiver.setBlockSink([&](int channel, const nimbra::DemodBlock& block, std::int64_t period, double hz) {
        ++run.blocks;
        decoders.feedBlock(channel, block, period, hz);
    });
    if (atStart)
        atStart(receiver);
    std::vector<unsigned char> bytes;
    std::vector<std::complex<float>> z;
    while (b.rendered() < b.totalSamples()) {
        std::vector<std::complex<float>> x = b.render(65536);
        d.apply(x);
        bytes.resize(2 * x.size());
        for (std::size_t i = 0; i < x.size(); ++i) {
            const double v[2] = {double(x[i].real()), double(x[i].imag())};
            for (int k = 0; k < 2; ++k)
                bytes[2 * i + k] =
                    static_cast<unsigned char>(std::clamp(std::nearbyint(v[k] * 128.0 + 127.5), 0.0, 255.0));
        }
        z.resize(x.size());
        nimbra::iq::convertIq(nimbra::iq::IqFormat::Cu8, bytes.data(), x.size(), z.data());
        receiver.process(z.data(), z.size());
    }
    run.channels = receiver.channels();
    receiver.finish();
    for (nimbra::FlightFix& f : decoders.release(std::numeric_limits<std::int64_t>::max()).fixes) {
        if (f.record.crcGood)
            run.idsByChannel[f.channel].push_back(f.record.transmitterId);
        run.fixes.push_back(std::move(f));
    }
    return run;
}

// A sonde of the band at an offset, with a flight of its own (identifier `id`).
inline nimbra::synth::BandSonde bandSonde(std::uint16_t id, double offsetHz, double levelDb = 0.0)
{
    nimbra::synth::BandSonde s;
    s.flight.transmitterId = id;
    s.flight.firstCounter = static_cast<std::uint16_t>(1000 + (id & 0xFF) * 100);
    s.flight.launchNorthM += 3000.0 * (id & 0xF);
    s.offsetHz = offsetHz;
    s.levelDb = levelDb;
    return s;
}

// The expected fixes of one transmitter, by their time counters.
inline std::vector<unsigned> countersOf(const std::vector<nimbra::synth::ExpectedFix>& fixes, unsigned id)
{
    std::vector<unsigned> out;
    for (const auto& f : fixes)
        if (f.transmitterId == id)
            out.push_back(f.timeCounter);
    return out;
}

inline std::vector<unsigned> countersOf(const std::vector<nimbra::FlightFix>& fixes, unsigned id)
{
    std::vector<unsigned> out;
    for (const auto& f : fixes)
        if (f.record.transmitterId == id)
            out.push_back(f.record.timeCounter);
    return out;
}

}  // namespace iqtest
