#include "app/desktop_panels.h"

#include <QAction>
#include <QDockWidget>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>

#include "app/chase_overlay.h"
#include "app/desktop_station.h"
#include "app/fix_feed.h"
#include "app/flight_log.h"
#include "app/flight_plots.h"
#include "app/flight_tracking.h"
#include "app/signal_panel.h"
#include "app/sky_view.h"
#include "app/status_messages.h"
#include "app/track_view.h"
#include "decoder/decoder.h"
#include "sources/file_decode_queue.h"
#include "sources/wave_thread.h"

namespace nimbra {

DesktopPanels::DesktopPanels(QMainWindow* window, Decoder& decoder, FileDecodeQueue& files,
                             StatusMessages& messages, QMenu* viewMenu)
    : QObject(window),
      window_(window),
      decoder_(decoder),
      files_(files),
      messages_(messages),
      feed_(new FixFeed(this)),
      log_(new FlightLog(this))
{
    decoder.setSignalMeasurement(true);
    feed_->attach(decoder);
    tracking_ = std::make_unique<FlightTracking>(*feed_, LoadFlightTrackingSettings(), decoder.params.userAlt.load());
    connect(feed_, &FixFeed::fixAccepted, this, &DesktopPanels::fixAccepted);
    connect(feed_, &FixFeed::blockFinished, this, [this](const PacketEvent& block) {
        stats_.addBlock(block);
        if (block.sampleIndex > stats_.start())
            ++fileBlocks_;
    });
    connect(&files, &FileDecodeQueue::decodeBegan, this, &DesktopPanels::decodeBegan);
    connect(&files, &FileDecodeQueue::decodeEnded, this, &DesktopPanels::decodeEnded);

    signalPanel_ = new SignalPanel;
    skyView_ = new SkyView(*log_);
    trackView_ = new TrackView(*log_, decoder.params);
    plots_ = new FlightPlots(*log_);
    QDockWidget* signal = addDock(tr("Signal"), tr("&Signal"), QStringLiteral("dockSignal"), signalPanel_, viewMenu);
    QDockWidget* sky = addDock(tr("Sky View"), tr("S&ky View"), QStringLiteral("dockSky"), skyView_, viewMenu);
    QDockWidget* track = addDock(tr("Track View"), tr("&Track View"), QStringLiteral("dockTrack"), trackView_, viewMenu);
    QDockWidget* plots = addDock(tr("Plots"), tr("&Plots"), QStringLiteral("dockPlots"), plots_, viewMenu);
    // First start: the signal panel and the sky beside the window, the track and the plots as
    // tabs below them. A saved layout replaces this (MainWindow restores it).
    window->addDockWidget(Qt::RightDockWidgetArea, signal);
    window->addDockWidget(Qt::RightDockWidgetArea, sky);
    window->splitDockWidget(signal, sky, Qt::Vertical);
    window->addDockWidget(Qt::RightDockWidgetArea, track);
    window->tabifyDockWidget(sky, track);
    window->addDockWidget(Qt::RightDockWidgetArea, plots);
    window->tabifyDockWidget(track, plots);
    sky->raise();
}

DesktopPanels::~DesktopPanels() = default;

QDockWidget* DesktopPanels::addDock(const QString& title, const QString& menuText, const QString& name,
                                    QWidget* content, QMenu* viewMenu)
{
    auto* dock = new QDockWidget(title, window_);
    dock->setObjectName(name);
    dock->setWidget(content);
    dock->setAllowedAreas(Qt::AllDockWidgetAreas);
    QAction* toggle = dock->toggleViewAction();
    toggle->setText(menuText);
    toggle->setToolTip(tr("Show or hide the %1 panel").arg(title));
    if (viewMenu)
        viewMenu->addAction(toggle);
    return dock;
}

void DesktopPanels::fixAccepted(const FlightFix& fix)
{
    stats_.addFix(fix.record.sampleIndex);
    log_->add(fix);
    signalPanel_->setPhase(fix.phase);
    showDistances();
}

void DesktopPanels::decodeBegan(const QString& fileName, qint64 firstSample)
{
    input_ = Input::File;
    fileName_ = fileName;
    tracking_->restart();
    fileBlocks_ = 0;
    stats_.restart(firstSample);
    messages_.clear(StatusMessages::NoSignal);
}

void DesktopPanels::decodeEnded(const QString& fileName, qint64 /*firstSample*/, qint64 lastSample)
{
    if (input_ != Input::File || fileName != fileName_)
        return;
    input_ = Input::FileDone;
    fileEnd_ = lastSample;
    stats_.advanceTo(lastSample);
    if (fileBlocks_ == 0 && messages_.text(StatusMessages::File).isEmpty())
        messages_.set(StatusMessages::File,
                      tr("No blocks found in %1: no signal, or another channel or demodulator is needed")
                          .arg(QFileInfo(fileName).fileName()));
}

void DesktopPanels::setLiveInput(const QString& device)
{
    liveDevice_ = device;
}

void DesktopPanels::setTiles(const QString& folder, const TileNetworkSettings& network)
{
    trackView_->setTileFolder(folder);
    trackView_->setTileNetwork(network);
}

void DesktopPanels::setStation(const DesktopStation* station)
{
    station_ = station;
    trackView_->setStation(station);
    if (station)
        connect(station, &DesktopStation::positionChanged, this, &DesktopPanels::showDistances);
    showDistances();
}

void DesktopPanels::showDistances()
{
    const formats::Station at = station_ ? station_->position()
                                         : formats::Station{decoder_.params.userLat.load(), decoder_.params.userLon.load(),
                                                            decoder_.params.userAlt.load()};
    const GeoPoint from{at.latitude, at.longitude};
    QString toSonde, toLanding;
    if (!log_->empty()) {
        const FlightFix& latest = log_->latest();
        toSonde = bearingDistance(from, {latest.record.latitude, latest.record.longitude});
        if (latest.prediction.valid)
            toLanding = bearingDistance(from, {latest.prediction.landing.latitude, latest.prediction.landing.longitude});
    }
    signalPanel_->setDistances(toSonde, toLanding);
}

void DesktopPanels::resetCounters()
{
    stats_.resetCounters();
}

QString DesktopPanels::inputText() const
{
    const QString file = QFileInfo(fileName_).fileName();
    switch (input_) {
    case Input::File: {
        const MyThread* decode = files_.current();
        return tr("%1, %2 % decoded").arg(file).arg(decode ? decode->progressPermille() / 10 : 100);
    }
    case Input::FileDone:
        return tr("%1, decoded").arg(file);
    case Input::Live:
        break;
    }
    return liveDevice_.isEmpty() ? tr("sound input not running") : tr("sound input \"%1\"").arg(liveDevice_);
}

void DesktopPanels::refresh()
{
    feed_->deliver();
    const std::int64_t measured = decoder_.inputLevel.measuredUpTo.load();
    if (input_ == Input::File) {
        if (const MyThread* decode = files_.current())
            stats_.advanceTo(decode->lastSample());
    } else if (input_ == Input::FileDone) {
        // Live audio has come in since the recording ended: back to the sound input.
        if (measured > fileEnd_ + SignalStats::kSampleRate) {
            input_ = Input::Live;
            stats_.restart(fileEnd_);
        }
    }
    if (input_ == Input::Live)
        stats_.advanceTo(measured);

    const SignalStats::Figures figures = stats_.figures();
    const bool decodingLive = input_ == Input::Live && !liveDevice_.isEmpty();
    const bool inputActive = decodingLive || input_ == Input::File;
    signalPanel_->show(figures, inputActive || input_ == Input::FileDone ? &decoder_.inputLevel : nullptr, inputText());
    const bool noSignal = decodingLive && figures.noSignal;
    if (noSignal && messages_.text(StatusMessages::NoSignal).isEmpty())
        messages_.set(StatusMessages::NoSignal, tr("No signal for %1 s: no block decoded").arg(SignalStats::kNoSignalS));
    else if (!noSignal)
        messages_.clear(StatusMessages::NoSignal);
    plots_->refresh();
}

}  // namespace nimbra
