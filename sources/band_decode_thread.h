// BandDecodeThread: every sonde of a band, decoded on a thread of its own from an SDR's IQ: an
// IQ recording, as fast as the processor allows, or a radio (SoapySDR, rtl_tcp), in real time
// as it delivers.
//
// In:  the input; the window's decoder (its parameters set each sonde's decoder, its live
//      station their look angles, and it takes the lines); the arbiter; a frequency to try and
//      the sonde to follow, from the GUI thread at any time.
// Out: every sonde's lines in time order into the window decoder's text accumulators (the record
//      text too while recording is on): for a recording as Open WAVE does (the arbiter held, the
//      record text written after each chunk to "<path of the recording>.txt",
//      AppendDecodeText_mainwindow() after each chunk); live, while no file decode holds the
//      decoder (meanwhile they wait, up to kMaxWaitingLines); the followed sonde's label values
//      into the window decoder's telemetry; every fix and finished block to the sinks (on this
//      thread); a snapshot for the panels (sondes, spectrum, the radio's state), at most every
//      kSnapshotMs; notes in the record text where the radio's samples broke off.
//
// A radio that fails is opened again and again (sdr/device_runner.h); the samples it lost are
// a gap no block is spliced across. requestInterruption() ends either input.
#pragma once

#include <QString>
#include <QThread>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "flight/flight_fix.h"
#include "flight/flight_tracker.h"
#include "iq/iq_format.h"
#include "sdr/device_runner.h"
#include "sdr/device_address.h"
#include "sondes/band_decoding.h"

namespace nimbra {

class Decoder;
class DecodeArbiter;

struct BandSnapshot {
    bool valid = false;
    double rate = 0.0;
    double tunedHz = 0.0;  // NaN: unknown
    double seconds = 0.0;  // band seconds decoded
    std::int64_t periods = 0;
    std::vector<SondeSummary> sondes;
    std::vector<float> powerDb, floorDb;  // the band from -rate/2 up, at most kSpectrumPoints
    bool radio = false;
    sdr::DeviceStatus device;
    std::uint64_t spectrumSerial = 0;  // counts the spectra: a new one for the waterfall
};

class BandDecodeThread : public QThread {
    Q_OBJECT

public:
    static constexpr std::size_t kSpectrumPoints = 1024;
    static constexpr int kSnapshotMs = 100;
    static constexpr std::size_t kMaxWaitingLines = 20000;
    static constexpr std::size_t kChunkSamples = 1 << 18;  // of a recording

    struct Recording {
        QString path;
        iq::IqFormat format = iq::IqFormat::Cu8;
        double rate = 0.0;     // 0 for WAVE (its header)
        double tunedHz = 0.0;  // NaN: unknown
    };
    struct Radio {
        sdr::DeviceAddress address;
        sdr::SdrSettings settings;
    };

    BandDecodeThread(Decoder& window, DecodeArbiter& arbiter, const Recording& recording,
                     const flight::TrackerSettings& tracking, QObject* parent = nullptr);
    BandDecodeThread(Decoder& window, DecodeArbiter& arbiter, const Radio& radio,
                     const flight::TrackerSettings& tracking, QObject* parent = nullptr);
    ~BandDecodeThread() override;

    void setFixSink(std::function<void(const FlightFix&)> sink) { fixSink_ = std::move(sink); }
    void setBlockSink(std::function<void(int, const PacketEvent&)> sink) { blockSink_ = std::move(sink); }

    bool isRecording() const { return recording_.has_value(); }
    QString fileName() const { return recording_ ? recording_->path : QString(); }
    QString describe() const;
    // Of a recording read so far, 0 to 1000.
    int progressPermille() const { return progress_.load(); }
    BandSnapshot snapshot() const;
    // The channel the labels follow (-1: the one with the newest fix).
    void follow(int channel) { followed_.store(channel); }
    // Asks the receiver to try a sonde at this frequency against the tuning.
    void tryAt(double offsetHz);

signals:
    void AppendDecodeText_mainwindow();
    void decodeFailed(const QString& message);
    void decodeBegan(qint64 firstSample);

protected:
    void run() override;

private:
    void runRecording();
    void runRadio();
    void configure(Decoder& d) const;
    void setUp(BandDecoding& band);
    // Lines, fixes, labels and the snapshot after a piece of input; `force`: the snapshot now.
    void afterPiece(BandDecoding& band, bool force);
    void deliverLines(std::vector<std::string>&& lines);
    void noteInRecord(const QString& text);
    void publish(BandDecoding& band, const sdr::DeviceStatus* device);
    void followStation(BandDecoding& band);

    Decoder& window_;
    DecodeArbiter& arbiter_;
    std::optional<Recording> recording_;
    std::optional<Radio> radio_;
    flight::TrackerSettings tracking_;
    std::function<void(const FlightFix&)> fixSink_;
    std::function<void(int, const PacketEvent&)> blockSink_;
    std::atomic<int> progress_{0};
    std::atomic<int> followed_{-1};
    std::vector<std::string> waiting_;  // live lines while a file decode holds the decoder
    int newestChannel_ = -1;            // the channel of the newest fix
    float stationLat_ = 0.0f, stationLon_ = 0.0f, stationAlt_ = 0.0f;
    bool stationSet_ = false;
    qint64 lastSnapshotMs_ = 0;

    mutable std::mutex mutex_;
    BandSnapshot snapshot_;       // guarded
    std::int64_t lastSpectrumEnd_ = -1;  // guarded
    std::vector<double> tryAt_;   // guarded
};

}  // namespace nimbra
