// MainWindow slots: the menu actions, the WAVE thread's text hand-over and the setup dialog's
// change notice.
#include "app/main_window.h"

#include <QDebug>
#include <QFile>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>

#include <string>

#include "app/about_dialog.h"
#include "app/sdr_input_settings.h"
#include "app/band_input.h"
#include "app/iq_recording_dialog.h"
#include "app/desktop_outputs.h"
#include "app/desktop_panels.h"
#include "app/desktop_station.h"
#include "app/flight_log.h"
#include "app/flight_settings.h"
#include "app/flight_tracking.h"
#include "app/preferences_dialog.h"
#include "app/setup_dialog.h"
#include "app/status_messages.h"
#include "app/track_export.h"
#include "decoder/decoder.h"
#include "iq/iq_recording_name.h"
#include "sources/capture_control.h"
#include "sources/file_decode_queue.h"
#include "ui_main_window.h"

namespace nimbra {

namespace {

// The pane keeps the newest lines only: each line is a paragraph of about 0.7 KB, and a station
// that runs for weeks would otherwise grow by some 60 MB a day. 20,000 lines hold a whole flight
// (two to three hours at a line a second) and most of the one before. Every line also goes to
// the record file while recording is on; only the scroll-back is shortened.
constexpr int kPaneLines = 20000;
// Lines are cut in steps of a tenth: the document's own limit (setMaximumBlockCount) cuts one
// paragraph per append and lays the document out again each time, a hundred times slower.
constexpr int kPaneSlack = kPaneLines / 10;

void trimPane(QTextBrowser* pane)
{
    QTextDocument* doc = pane->document();
    const int excess = doc->blockCount() - kPaneLines;
    if (excess <= kPaneSlack)
        return;
    QTextCursor cursor(doc);
    cursor.movePosition(QTextCursor::Start);
    cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, excess);
    cursor.removeSelectedText();
}

}  // namespace

void MainWindow::AppendDecodeText()
{
    std::string text = decoder_->decodedDisplayText.takeAll();
    // The pane starts a new paragraph for each append, so the last line's terminator goes.
    if (!text.empty())
        text.pop_back();
    if (!text.empty()) {
        ui->packetTextBrowser->append(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
        trimPane(ui->packetTextBrowser);
    }
}

void MainWindow::ConfigWasChanged()
{
    qDebug() << "ConfigWasChanged";
    applyInput();
    const bool wasMoving = station_->settings().positionFromGps;
    station_->apply(StationSettings::load());
    if (station_->settings().positionFromGps != wasMoving)
        outputs_->setPositionSource(station_->positionSource(), station_->settings().positionFromGps);
    outputs_->followStation();
    // The landing ground follows the station's altitude unless it was set.
    panels_->tracking().apply(panels_->tracking().settings(), decoder_->params.userAlt.load());
}

void MainWindow::on_actionOpen_Test_File_triggered()
{
    qDebug() << "Open test file";
    startFileDecode(testFilePath());
}

void MainWindow::on_actionOpen_WAVE_triggered()
{
    const QString name = chooseWaveFile_();
    if (name.isEmpty()) {
        qDebug() << "Open WAVE cancelled";
        return;
    }
    qDebug() << "Open WAVE File " << name;
    startFileDecode(name);
}

void MainWindow::on_actionOpen_IQ_Recording_triggered()
{
    const QString name = chooseIqFile_();
    if (name.isEmpty()) {
        qDebug() << "Open IQ recording cancelled";
        return;
    }
    const iq::IqRecordingGuess guess = iq::guessIqRecording(QFile::encodeName(name).toStdString());
    BandDecodeThread::Recording recording = IqRecordingDialog::fromGuess(name, guess);
    if (IqRecordingDialog::needed(guess)) {
        SdrInputSettings sdr = SdrInputSettings::load();
        IqRecordingDialog dialog(name, guess, sdr, this);
        if (dialog.exec() != QDialog::Accepted) {
            qDebug() << "Open IQ recording cancelled";
            return;
        }
        recording = dialog.recording();
        dialog.remember(sdr);
        sdr.save();
    }
    qDebug() << "Open IQ recording" << name << iq::iqFormatName(recording.format) << recording.rate << recording.tunedHz;
    fileDecodes_->startIq(recording, panels_->tracking().settings().tracker(decoder_->params.userAlt.load()));
}

void MainWindow::applyInput()
{
    const SdrInputSettings sdr = SdrInputSettings::load();
    if (sdr.sdr()) {
        capture_->stop();
        panels_->setLiveInput(QString());
        if (!bandInput_->sameRadio(sdr))
            bandInput_->apply(sdr, panels_->tracking().settings().tracker(decoder_->params.userAlt.load()));
        panels_->setLiveBand(bandInput_->describe());
        return;
    }
    if (bandInput_->running()) {
        bandInput_->stop();
        panels_->setLiveBand(QString());
    }
    capture_->restart();
}

void MainWindow::on_actionConfig_triggered()
{
    auto* dialog = new SetupDialog(decoder_->params, this);
    connect(dialog, &SetupDialog::ConfigWasChanged_mainwindow, this, &MainWindow::ConfigWasChanged);
    dialog->show();
}

void MainWindow::on_actionOutputs_triggered()
{
    outputs_->openDialog(this);
}

void MainWindow::on_actionClear_Decoded_Text_triggered()
{
    qDebug() << "on_actionClear_Decoded_Text_triggered";
    ui->packetTextBrowser->clear();
}

void MainWindow::on_actionAbout_Nimbra_triggered()
{
    auto* dialog = new AboutDialog(this);
    dialog->show();
}

void MainWindow::on_actionExport_Track_triggered()
{
    const FlightLog& log = panels_->log();
    if (log.empty()) {
        messages_->note(tr("No trusted fixes to export yet"));
        return;
    }
    const QString path = chooseExportFile_();
    if (path.isEmpty())
        return;
    const DecoderParameters& p = decoder_->params;
    const formats::Station station{p.userLat.load(), p.userLon.load(), p.userAlt.load()};
    // Several sondes: the user says which, or all of them (a track each in one file).
    std::optional<unsigned> sonde;
    const std::vector<unsigned> sondes = log.sondes();
    if (sondes.size() > 1) {
        bool chosen = false;
        sonde = chooseExportSonde_(sondes, log.followed(), chosen);
        if (!chosen)
            return;
    }
    const std::vector<FlightFix> fixes = log.toVector(sonde);
    QString error;
    if (writeTrack(path, fixes, station, error))
        messages_->note(tr("Track of %n fix(es) written to %1", nullptr, static_cast<int>(fixes.size())).arg(path));
    else
        messages_->note(tr("Cannot export the track: %1").arg(error));
}

void MainWindow::on_actionQuit_triggered()
{
    close();
}

void MainWindow::on_actionReset_Counters_triggered()
{
    qDebug() << "on_actionReset_Counters_triggered";
    decoder_->telemetry.goodPackets = 0;
    decoder_->telemetry.badPackets = 0;
    panels_->resetCounters();
}

void MainWindow::on_actionPreferences_triggered()
{
    auto* dialog = new PreferencesDialog(desktop_, panels_->tracking().settings(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        setDesktopSettings(dialog->settings());
        desktop_.save();
        const FlightTrackingSettings flight = dialog->flightTracking();
        SaveFlightTrackingSettings(flight);
        panels_->tracking().apply(flight, decoder_->params.userAlt.load());
    });
    dialog->show();
}

}  // namespace nimbra
