// DesktopPanels: the panels beside the main window and the road that feeds them. Owns the fix
// feed (the decoder's one fix and block listener, fanned out on the GUI thread), the flight log
// of trusted fixes, the signal figures, and six dock widgets: the signal panel, the sky view,
// the track view, the plots, the sondes and the band's spectrum, each with its entry in the
// View menu.
//
// With an SDR's band (an IQ recording, or a radio) every sonde has its own signal figures; the
// Sondes panel's choice (or else the sonde with the newest fix) is the one the signal panel, the
// views and the plots show, the labels follow (the band's thread copies its values) and the
// rotator points at (sondeChosen).
//
// In:  the window's decoder (attached to the feed), its WAVE decodes (which input is decoded,
//      and from which sample on), the sound input's state (setLiveInput), and a tick
//      (refresh) every 500 ms from the window's loop.
// Out: the docks and their contents; the "no signal" message and the recording-without-blocks
//      message in the status bar.
//
// Every accepted fix passes the flight tracking (FlightTracking: trusted, phase, prediction)
// inside the feed; fixFeed()'s fixAccepted then carries it, on the GUI thread, to the panels and
// to whatever else connects there (the network outputs). The views, the plots and the export
// keep trusted fixes only (FlightLog); with the trust setting off every fix is trusted.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "app/signal_stats.h"
#include "sources/band_decode_thread.h"

class QDockWidget;
class QMainWindow;
class QMenu;

namespace nimbra {

class Decoder;
class DesktopStation;
class FileDecodeQueue;
class FixFeed;
class FlightLog;
class FlightPlots;
class FlightTracking;
class SignalPanel;
class SkyView;
class SondesPanel;
class SpectrumView;
class StatusMessages;
class TrackView;
struct FlightFix;
struct TileNetworkSettings;

class DesktopPanels : public QObject {
    Q_OBJECT

public:
    enum class Input { Live, File, FileDone };

    // `window` owns the docks. The feed stays the decoder's listener: the window detaches it
    // (FixFeed::detach) before either goes.
    DesktopPanels(QMainWindow* window, Decoder& decoder, FileDecodeQueue& files,
                  StatusMessages& messages, QMenu* viewMenu);
    ~DesktopPanels() override;

    FixFeed& fixFeed() { return *feed_; }
    FlightTracking& tracking() { return *tracking_; }
    FlightLog& log() { return *log_; }
    const SignalStats& stats() const { return stats_; }
    SignalPanel* signalPanel() const { return signalPanel_; }
    SkyView* skyView() const { return skyView_; }
    TrackView* trackView() const { return trackView_; }
    FlightPlots* plots() const { return plots_; }
    SondesPanel* sondesPanel() const { return sondesPanel_; }
    SpectrumView* spectrumView() const { return spectrumView_; }
    Input input() const { return input_; }
    // The band being decoded now, if any (an IQ recording's, else the live radio's).
    void setBandSource(std::function<BandDecodeThread*()> source) { bandSource_ = std::move(source); }
    // The live radio started (its description) or stopped (empty).
    void setLiveBand(const QString& description);
    bool bandInput() const { return bandInput_; }
    // The band as last seen (it stays after a recording's decode ended).
    const BandSnapshot& band() const { return band_; }

    // The sound input started on this device, or (empty) is not running.
    void setLiveInput(const QString& device);
    void setTiles(const QString& folder, const TileNetworkSettings& network);
    // The station's GPS position and trail for the track view and the signal panel's distances.
    void setStation(const DesktopStation* station);
    void resetCounters();
    // Once per tick: the figures, the panel, the plots, the no-signal message, the sondes.
    void refresh();

signals:
    // The user chose a sonde to follow (none: the newest).
    void sondeChosen(std::optional<unsigned> id);

private:
    void fixAccepted(const FlightFix& fix);
    void showDistances();
    void refreshBand();
    void refreshAudioSonde();
    void showSpectrum();
    void chooseSonde(int channel, std::optional<unsigned> id);
    int followedChannel() const;
    void decodeBegan(const QString& fileName, qint64 firstSample);
    void decodeEnded(const QString& fileName, qint64 firstSample, qint64 lastSample);
    QDockWidget* addDock(const QString& title, const QString& menuText, const QString& name,
                         QWidget* content, QMenu* viewMenu);
    QString inputText() const;

    QMainWindow* window_;
    Decoder& decoder_;
    FileDecodeQueue& files_;
    StatusMessages& messages_;
    FixFeed* feed_;
    std::unique_ptr<FlightTracking> tracking_;  // goes before the feed (a child): takes itself off it
    FlightLog* log_;
    SignalStats stats_;
    SignalPanel* signalPanel_;
    SkyView* skyView_;
    TrackView* trackView_;
    FlightPlots* plots_;
    SondesPanel* sondesPanel_;
    SpectrumView* spectrumView_;
    const DesktopStation* station_ = nullptr;
    std::function<BandDecodeThread*()> bandSource_;
    bool bandInput_ = false;  // the signal panel shows a band's sonde
    bool bandFile_ = false;   // the recording being decoded is an IQ recording
    QString liveBand_;        // the live radio's description; empty: none
    BandSnapshot band_;
    std::map<int, SignalStats> sondeStats_;  // per channel of the band
    int newestChannel_ = -1;

    Input input_ = Input::Live;
    QString liveDevice_;   // empty: the sound input is not running
    QString fileName_;     // the recording being decoded, or last decoded
    std::int64_t fileEnd_ = 0;
    int fileBlocks_ = 0;   // blocks the running or last recording gave
};

}  // namespace nimbra
