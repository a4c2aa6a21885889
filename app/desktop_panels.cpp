#include "app/desktop_panels.h"

#include <QAction>
#include <QDockWidget>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QTimer>

#include <cmath>

#include "app/chase_overlay.h"
#include "app/desktop_station.h"
#include "app/fix_feed.h"
#include "app/flight_log.h"
#include "app/flight_plots.h"
#include "app/flight_tracking.h"
#include "app/signal_panel.h"
#include "app/sky_view.h"
#include "app/sondes_panel.h"
#include "app/spectrum_view.h"
#include "app/status_messages.h"
#include "app/track_view.h"
#include "decoder/decoder.h"
#include "formats/frequency_text.h"
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
    connect(feed_, &FixFeed::sondeBlockFinished, this,
            [this](int channel, const PacketEvent& block) {
                sondeStats_[channel].addBlock(block);
                ++fileBlocks_;
            });
    connect(&files, &FileDecodeQueue::decodeBegan, this, &DesktopPanels::decodeBegan);
    connect(&files, &FileDecodeQueue::decodeEnded, this, &DesktopPanels::decodeEnded);

    signalPanel_ = new SignalPanel;
    skyView_ = new SkyView(*log_);
    trackView_ = new TrackView(*log_, decoder.params);
    plots_ = new FlightPlots(*log_);
    sondesPanel_ = new SondesPanel;
    spectrumView_ = new SpectrumView;
    connect(sondesPanel_, &SondesPanel::sondeChosen, this, &DesktopPanels::chooseSonde);
    connect(spectrumView_, &SpectrumView::tryAt, this, [this](double hz) {
        if (BandDecodeThread* band = bandSource_ ? bandSource_() : nullptr)
            band->tryAt(hz);
    });
    // The spectrum at ten frames a second, the rest at the window's tick.
    auto* spectrumTimer = new QTimer(this);
    connect(spectrumTimer, &QTimer::timeout, this, &DesktopPanels::showSpectrum);
    spectrumTimer->start(BandDecodeThread::kSnapshotMs);
    QDockWidget* signal = addDock(tr("Signal"), tr("&Signal"), QStringLiteral("dockSignal"), signalPanel_, viewMenu);
    QDockWidget* sky = addDock(tr("Sky View"), tr("S&ky View"), QStringLiteral("dockSky"), skyView_, viewMenu);
    QDockWidget* track = addDock(tr("Track View"), tr("&Track View"), QStringLiteral("dockTrack"), trackView_, viewMenu);
    QDockWidget* plots = addDock(tr("Plots"), tr("&Plots"), QStringLiteral("dockPlots"), plots_, viewMenu);
    QDockWidget* sondes = addDock(tr("Sondes"), tr("S&ondes"), QStringLiteral("dockSondes"), sondesPanel_, viewMenu);
    QDockWidget* spectrum = addDock(tr("Spectrum"), tr("Sp&ectrum"), QStringLiteral("dockSpectrum"), spectrumView_, viewMenu);
    // First start: the signal panel and the sky beside the window, the track and the plots as
    // tabs below them. A saved layout replaces this (MainWindow restores it).
    window->addDockWidget(Qt::RightDockWidgetArea, signal);
    window->addDockWidget(Qt::RightDockWidgetArea, sky);
    window->splitDockWidget(signal, sky, Qt::Vertical);
    window->addDockWidget(Qt::RightDockWidgetArea, track);
    window->tabifyDockWidget(sky, track);
    window->addDockWidget(Qt::RightDockWidgetArea, plots);
    window->tabifyDockWidget(track, plots);
    window->addDockWidget(Qt::RightDockWidgetArea, sondes);
    window->tabifyDockWidget(plots, sondes);
    window->addDockWidget(Qt::RightDockWidgetArea, spectrum);
    window->tabifyDockWidget(sondes, spectrum);
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
    if (fix.channel > 0) {
        sondeStats_[fix.channel].addFix(fix.record.sampleIndex);
        newestChannel_ = fix.channel;
    } else {
        stats_.addFix(fix.record.sampleIndex);
    }
    log_->add(fix);
    signalPanel_->setPhase(fix.phase);
    showDistances();
}

void DesktopPanels::decodeBegan(const QString& fileName, qint64 firstSample)
{
    input_ = Input::File;
    bandInput_ = files_.currentBand() != nullptr || !liveBand_.isEmpty();
    bandFile_ = files_.currentBand() != nullptr;
    if (bandFile_) {
        // A recording's band: its sondes and channels start afresh.
        sondeStats_.clear();
        band_ = BandSnapshot{};
        newestChannel_ = -1;
        spectrumView_->clear();
    }
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
    // The recording's band as its decode left it (its thread goes now).
    if (BandDecodeThread* band = files_.currentBand()) {
        const BandSnapshot s = band->snapshot();
        if (s.valid) {
            band_ = s;
            spectrumView_->setSnapshot(s);
        }
    }
    input_ = Input::FileDone;
    fileEnd_ = lastSample;
    stats_.advanceTo(lastSample);
    if (fileBlocks_ == 0 && messages_.text(StatusMessages::File).isEmpty())
        messages_.set(StatusMessages::File,
                      bandFile_ ? tr("No sonde found in %1: no signal, or another sample format or rate is needed")
                                      .arg(QFileInfo(fileName).fileName())
                                : tr("No blocks found in %1: no signal, or another channel or demodulator is needed")
                                      .arg(QFileInfo(fileName).fileName()));
    if (bandFile_ && !liveBand_.isEmpty()) {
        // The radio's band again: it went on meanwhile.
        const QString live = liveBand_;
        input_ = Input::Live;
        setLiveBand(live);
    }
    bandFile_ = false;
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

void DesktopPanels::setLiveBand(const QString& description)
{
    liveBand_ = description;
    if (input_ == Input::File)
        return;  // the recording's decode goes on; the radio's band shows after it
    bandInput_ = !description.isEmpty();
    input_ = Input::Live;
    sondeStats_.clear();
    band_ = BandSnapshot{};
    newestChannel_ = -1;
    spectrumView_->clear();
}

int DesktopPanels::followedChannel() const
{
    const int chosen = sondesPanel_->chosenChannel();
    return chosen >= 0 ? chosen : newestChannel_;
}

void DesktopPanels::chooseSonde(int channel, std::optional<unsigned> id)
{
    if (BandDecodeThread* band = bandSource_ ? bandSource_() : nullptr)
        band->follow(channel);
    log_->follow(channel >= 0 ? id : std::nullopt);
    emit sondeChosen(channel >= 0 ? id : std::nullopt);
    refresh();
}

void DesktopPanels::showSpectrum()
{
    if (BandDecodeThread* band = bandSource_ ? bandSource_() : nullptr) {
        const BandSnapshot s = band->snapshot();
        if (s.valid)
            spectrumView_->setSnapshot(s);
    }
}

void DesktopPanels::refreshBand()
{
    if (BandDecodeThread* band = bandSource_ ? bandSource_() : nullptr) {
        BandSnapshot s = band->snapshot();
        if (s.valid)
            band_ = std::move(s);
    }
    std::vector<SondeRow> rows;
    for (const SondeSummary& s : band_.sondes) {
        SondeRow r;
        r.channel = s.channel;
        if (s.hasId)
            r.id = s.transmitterId;
        r.serial = s.hasId ? QStringLiteral("%1").arg(s.transmitterId, 4, 16, QLatin1Char('0')).toUpper()
                           : tr("channel %1").arg(s.channel);
        r.frequency = s.absolute ? tr("%1 MHz").arg(QString::fromStdString(formats::formatMhz(s.frequencyHz)))
                                 : tr("%1 kHz").arg(s.frequencyHz / 1000.0, 0, 'f', 1);
        if (s.latest) {
            r.lastFixS = std::max(0.0, band_.seconds - s.lastFixS);
            r.altitudeM = s.latest->record.altitude;
            r.phase = SignalPanel::phaseName(s.latest->phase);
        }
        r.good = s.goodBlocks;
        r.bad = s.badBlocks;
        r.ebN0Db = s.ebN0Db;
        r.lost = s.lost;
        rows.push_back(r);
        // A chosen sonde whose identifier came only now: the views follow it from now on.
        if (r.channel == sondesPanel_->chosenChannel() && r.id && log_->followed() != r.id) {
            log_->follow(r.id);
            emit sondeChosen(r.id);
        }
    }
    sondesPanel_->show(rows);
    for (auto& [channel, stats] : sondeStats_)
        stats.advanceTo(band_.periods);
}

void DesktopPanels::refreshAudioSonde()
{
    // Receiver audio carries one sonde: the panel shows it.
    std::vector<SondeRow> rows;
    if (!log_->empty()) {
        const FlightFix& f = log_->latest();
        SondeRow r;
        r.channel = 0;
        r.id = f.record.transmitterId;
        r.serial = QStringLiteral("%1").arg(f.record.transmitterId, 4, 16, QLatin1Char('0')).toUpper();
        r.frequency = tr("audio");
        r.lastFixS = stats_.figures().secondsSinceFix;
        r.altitudeM = f.record.altitude;
        r.phase = SignalPanel::phaseName(f.phase);
        r.good = decoder_.telemetry.goodPackets.load();
        r.bad = decoder_.telemetry.badPackets.load();
        r.ebN0Db = stats_.figures().medianEbN0Db;
        rows.push_back(r);
    }
    sondesPanel_->show(rows);
}

QString DesktopPanels::inputText() const
{
    const QString file = QFileInfo(fileName_).fileName();
    switch (input_) {
    case Input::File:
        return tr("%1, %2 % decoded").arg(file).arg(files_.progressPermille() / 10);
    case Input::FileDone:
        return tr("%1, decoded").arg(file);
    case Input::Live:
        break;
    }
    if (!liveBand_.isEmpty())
        return tr("SDR %1").arg(liveBand_);
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

    if (bandInput_) {
        refreshBand();
        const int channel = followedChannel();
        const auto it = sondeStats_.find(channel);
        signalPanel_->show(it != sondeStats_.end() ? it->second.figures() : SignalStats().figures(), nullptr, inputText());
        messages_.clear(StatusMessages::NoSignal);
        plots_->refresh();
        return;
    }
    refreshAudioSonde();
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
