// DesktopPanels: the panels beside the main window and the road that feeds them. Owns the fix
// feed (the decoder's one fix and block listener, fanned out on the GUI thread), the flight log
// of trusted fixes, the signal figures, and four dock widgets: the signal panel, the sky view,
// the track view and the plots, each with its entry in the View menu.
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
#include <memory>

#include "app/signal_stats.h"

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
    Input input() const { return input_; }

    // The sound input started on this device, or (empty) is not running.
    void setLiveInput(const QString& device);
    void setTiles(const QString& folder, const TileNetworkSettings& network);
    // The station's GPS position and trail for the track view and the signal panel's distances.
    void setStation(const DesktopStation* station);
    void resetCounters();
    // Once per tick: the figures, the panel, the plots, the no-signal message.
    void refresh();

private:
    void fixAccepted(const FlightFix& fix);
    void showDistances();
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
    const DesktopStation* station_ = nullptr;

    Input input_ = Input::Live;
    QString liveDevice_;   // empty: the sound input is not running
    QString fileName_;     // the recording being decoded, or last decoded
    std::int64_t fileEnd_ = 0;
    int fileBlocks_ = 0;   // blocks the running or last recording gave
};

}  // namespace nimbra
