// BandInput: the desktop program's live SDR input: a BandDecodeThread on the radio Config names
// (SoapySDR or rtl_tcp), started when the input is an SDR and stopped when it is the sound card
// again; every sonde's fixes and blocks into the fix feed; the radio's state in the status bar
// as the sound input's is: lost (why, and that it is tried again), resumed after how long.
//
// In:  the SDR input settings and the tracker's settings (apply); a tick every 500 ms.
// Out: the running thread (for the panels' snapshot, a frequency to try, the sonde followed);
//      the status bar's Capture message; the input's description for the signal panel.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <memory>

#include "app/sdr_input_settings.h"
#include "flight/flight_tracker.h"
#include "sdr/device_runner.h"

namespace nimbra {

class BandDecodeThread;
class DecodeArbiter;
class Decoder;
class FixFeed;
class StatusMessages;

class BandInput : public QObject {
    Q_OBJECT

public:
    BandInput(Decoder& decoder, DecodeArbiter& arbiter, FixFeed& feed, StatusMessages& messages,
              QObject* parent = nullptr);
    ~BandInput() override;

    // Starts the radio the settings name (again, when they changed), or stops it for the sound
    // card. An address that cannot be used is said in the status bar.
    void apply(const SdrInputSettings& settings, const flight::TrackerSettings& tracking);
    void stop();
    // Whether the radio running now is the one these settings name, set up the same way.
    bool sameRadio(const SdrInputSettings& settings) const;
    bool running() const { return thread_ != nullptr; }
    BandDecodeThread* thread() const { return thread_.get(); }
    QString describe() const { return running() ? settings_.describe() : QString(); }
    // The radio's state now, said in the status bar when it changes.
    void tick();

signals:
    void started();
    void stopped();

private:
    Decoder& decoder_;
    DecodeArbiter& arbiter_;
    FixFeed& feed_;
    StatusMessages& messages_;
    SdrInputSettings settings_;
    std::unique_ptr<BandDecodeThread> thread_;
    sdr::DeviceStatus::State shown_ = sdr::DeviceStatus::State::Connecting;
    bool wasRunning_ = false;
    QDateTime lostAt_;
};

}  // namespace nimbra
