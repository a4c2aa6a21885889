// MainWindow construction and shut-down.
#include "app/main_window.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QInputDialog>
#include <QStandardPaths>
#include <QStatusBar>

#include "app/band_input.h"
#include "app/desktop_outputs.h"
#include "app/desktop_panels.h"
#include "app/desktop_station.h"
#include "app/fix_feed.h"
#include "app/sdr_input_settings.h"
#include "app/settings.h"
#include "app/status_messages.h"
#include "decoder/decoder.h"
#include "flight/flight_fix.h"
#include "sources/capture_control.h"
#include "sources/file_decode_queue.h"
#include "telemetry/gps_fix.h"
#include "ui_main_window.h"

namespace nimbra {

namespace {

// The demodulators in the order of their demodType numbers. Looked up, like every text of the
// window, in the translation context of its form, "MainWindow".
const char* const kDemodNames[] = {
    QT_TRANSLATE_NOOP("MainWindow", "Edge Demod"),
    QT_TRANSLATE_NOOP("MainWindow", "Level Demod"),
    QT_TRANSLATE_NOOP("MainWindow", "Pattern Demod"),
    QT_TRANSLATE_NOOP("MainWindow", "Sync Demod"),
};

constexpr int kTickMs = 500;
// Room for the panels beside the window on a first start; later the saved size.
constexpr int kFirstStartWidth = 1200;
constexpr int kFirstStartHeight = 720;
// What the network outputs still hold when the window closes gets this long to go out.
constexpr double kOutputsCloseWaitS = 3.0;

QString translate(const char* text)
{
    return QCoreApplication::translate("MainWindow", text);
}

}  // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent),
      ui(new Ui::MainWindow),
      recordFile(nullptr),
      decoder_(std::make_unique<Decoder>()),
      capture_(nullptr),
      fileDecodes_(nullptr),
      messages_(nullptr),
      panels_(nullptr),
      outputs_(nullptr),
      station_(nullptr),
      bandInput_(nullptr)
{
    ui->setupUi(this);
    ui->graphicsView->setScopeBuffer(&decoder_->scope);
    ui->packetTextBrowser->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    for (const char* name : kDemodNames)
        ui->comboBoxDemodType->addItem(translate(name));

    LoadSettings(decoder_->params);
    putParametersIntoControls();

    chooseWaveFile_ = [this] {
        return QFileDialog::getOpenFileName(
            this, translate("Open"), QString(),
            translate("Recordings (*.wav *.WAV *.flac *.FLAC *.aif *.aiff *.AIF *.AIFF);;All files (*)"));
    };
    chooseExportFile_ = [this] { return chooseExportFile(); };
    chooseIqFile_ = [this] {
        return QFileDialog::getOpenFileName(
            this, translate("Open IQ Recording"), QString(),
            translate("IQ recordings (*.cu8 *.cs8 *.cs16 *.cf32 *.fc32 *.raw *.bin *.wav *.WAV);;All files (*)"));
    };
    chooseExportSonde_ = [this](const std::vector<unsigned>& sondes, std::optional<unsigned> followed, bool& chosen) {
        QStringList items{translate("All sondes")};
        int current = 0;
        for (unsigned id : sondes) {
            if (followed == id)
                current = items.size();
            items << QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0')).toUpper();
        }
        const QString item = QInputDialog::getItem(this, translate("Export Track"), translate("The track of:"), items,
                                                   current, false, &chosen);
        const int at = items.indexOf(item);
        return at > 0 ? std::optional<unsigned>(sondes[at - 1]) : std::nullopt;
    };
    // Live and WAVE decoding alike: every accepted fix from the fix feed (below).
    outputs_ = new DesktopOutputs(decoder_->params, ui->statusBar, this);
    fileDecodes_ = new FileDecodeQueue(*decoder_, arbiter_, this);
    connect(fileDecodes_, &FileDecodeQueue::AppendDecodeText_mainwindow, this, &MainWindow::AppendDecodeText);

    messages_ = new StatusMessages(ui->statusBar, this);
    panels_ = new DesktopPanels(this, *decoder_, *fileDecodes_, *messages_, ui->menuView);
    connect(&panels_->fixFeed(), &FixFeed::fixAccepted, outputs_, [this](const FlightFix& fix) { outputs_->publish(fix); });
    connect(fileDecodes_, &FileDecodeQueue::decodeStarted, this, [this] { messages_->clear(StatusMessages::File); });
    connect(fileDecodes_, &FileDecodeQueue::decodeFailed, this,
            [this](const QString& message) { messages_->set(StatusMessages::File, message); });
    // An SDR's band: IQ recordings through the file decodes, a radio through the band input;
    // their sondes' fixes and blocks go into the fix feed already tracked.
    bandInput_ = new BandInput(*decoder_, arbiter_, panels_->fixFeed(), *messages_, this);
    fileDecodes_->setBandPreparer([this](BandDecodeThread& band) {
        FixFeed* feed = &panels_->fixFeed();
        band.setFixSink([feed](const FlightFix& f) { feed->pushTracked(f); });
        band.setBlockSink([feed](int channel, const PacketEvent& b) { feed->pushBlock(channel, b); });
    });
    panels_->setBandSource([this]() -> BandDecodeThread* {
        if (BandDecodeThread* file = fileDecodes_->currentBand())
            return file;
        return bandInput_->thread();
    });
    // The station's GPS and rotator: live fixes point the antenna, the GPS moves the station.
    station_ = new DesktopStation(*decoder_, ui->statusBar, this);
    station_->setLiveInput([this] { return panels_->input() == DesktopPanels::Input::Live; });
    connect(&panels_->fixFeed(), &FixFeed::fixAccepted, station_, &DesktopStation::fixAccepted);
    connect(ui->actionRotator, &QAction::toggled, station_, &DesktopStation::setRotatorOn);
    connect(station_, &DesktopStation::rotatorSwitched, ui->actionRotator, &QAction::setChecked);
    panels_->setStation(station_);
    connect(panels_, &DesktopPanels::sondeChosen, station_, &DesktopStation::chooseSonde);
    station_->apply(StationSettings::load());
    ui->actionRotator->setChecked(station_->settings().rotatorOn);
    outputs_->setPositionSource(station_->positionSource(), station_->settings().positionFromGps);
    desktop_ = DesktopSettings::load();
    if (!desktop_.windowGeometry.isEmpty())
        restoreGeometry(desktop_.windowGeometry);
    else
        resize(kFirstStartWidth, kFirstStartHeight);
    if (!desktop_.windowState.isEmpty())
        restoreState(desktop_.windowState);
    setDesktopSettings(desktop_);

    startTimer(kTickMs);

    capture_ = new CaptureControl(decoder_->params, this, LoadCaptureTiming());
    capture_->setDevice(LoadCaptureDevice());
    connect(capture_, &CaptureControl::captureStarted, panels_, &DesktopPanels::setLiveInput);
    connect(capture_, &CaptureControl::captureResumed, panels_, &DesktopPanels::setLiveInput);
    connect(capture_, &CaptureControl::captureFailed, panels_, [this] { panels_->setLiveInput(QString()); });
    connect(capture_, &CaptureControl::captureLost, panels_, [this] { panels_->setLiveInput(QString()); });
    connect(capture_, &CaptureControl::statusChanged, this, &MainWindow::showCaptureStatus);
    if (SdrInputSettings::load().sdr())
        applyInput();  // the radio instead of the sound card
    else
        capture_->start();
}

MainWindow::~MainWindow()
{
    qDebug() << "Destroy MainWindow";
    capture_->stop();
    // The radio's band and the GPS and rotator threads end here: they write into the decoder.
    bandInput_->stop();
    delete station_;
    station_ = nullptr;
    // No decode may run on against a decoder and window that are going away.
    fileDecodes_->stop();
    // Nothing drives the decoder now; its listeners must not outlive the panels.
    FixFeed::detach(*decoder_);
    outputs_->stop(kOutputsCloseWaitS);
    SaveSettings(decoder_->params);
    SaveCaptureDevice(capture_->device());
    desktop_.windowGeometry = saveGeometry();
    desktop_.windowState = saveState();
    desktop_.save();
    if (recordFile) {
        recordFile->close();
        // A record file that never received a line is not kept: empty files would pile up.
        if (QFileInfo(recordFile->fileName()).size() == 0 && QFile::remove(recordFile->fileName()))
            qDebug() << "Removed the empty record file" << recordFile->fileName();
    }
    // The view outlives the decoder by a moment (children go last): it must not keep its rings.
    ui->graphicsView->setScopeBuffer(nullptr);
    delete ui;
}

void MainWindow::showCaptureStatus(const QString& message)
{
    if (message.isEmpty())
        messages_->clear(StatusMessages::Capture);
    else
        messages_->set(StatusMessages::Capture, message);
}

FixFeed& MainWindow::fixFeed()
{
    return panels_->fixFeed();
}

void MainWindow::setDesktopSettings(const DesktopSettings& settings)
{
    desktop_.waveChannel = settings.waveChannel;
    desktop_.tileFolder = settings.tileFolder;
    desktop_.tiles = settings.tiles;
    fileDecodes_->setChannel(desktop_.waveChannel);
    panels_->setTiles(desktop_.tileFolder, desktop_.tiles);
}

QString MainWindow::chooseExportFile()
{
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    const QString gpx = translate("GPX track (*.gpx)");
    const QString kml = translate("KML for Google Earth (*.kml)");
    QString filter = gpx;
    QString path = QFileDialog::getSaveFileName(this, translate("Export Track"),
                                                QStringLiteral("nimbra-track-%1.gpx").arg(stamp),
                                                gpx + QStringLiteral(";;") + kml, &filter);
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += filter == kml ? QStringLiteral(".kml") : QStringLiteral(".gpx");
    return path;
}

QString MainWindow::testFilePath()
{
    // Beside the executable in a build; in the data folder of the prefix once installed
    // (/usr/bin/nimbra: /usr/share/nimbra/sample-flight.wav).
    const QString name = QStringLiteral("sample-flight.wav");
    const QDir here(QCoreApplication::applicationDirPath());
    const QString candidates[] = {here.filePath(name), here.filePath(QStringLiteral("../share/nimbra/") + name),
                                  QStandardPaths::locate(QStandardPaths::GenericDataLocation, QStringLiteral("nimbra/") + name)};
    for (const QString& path : candidates)
        if (!path.isEmpty() && QFileInfo::exists(path))
            return QFileInfo(path).canonicalFilePath();
    return candidates[0];
}

QString MainWindow::recordFileName() const
{
    return recordFile ? recordFile->fileName() : QString();
}

void MainWindow::startFileDecode(const QString& fileName)
{
    fileDecodes_->setChannel(desktop_.waveChannel);
    fileDecodes_->start(fileName);
}

bool MainWindow::decodeRunning() const
{
    return fileDecodes_->running();
}

int MainWindow::pendingDecodes() const
{
    return fileDecodes_->pending();
}

}  // namespace nimbra
