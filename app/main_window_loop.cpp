// The periodic decode loop: every 500 ms on the GUI thread, repaint the scope, copy the controls
// into the parameters, show the telemetry, decode the live audio that arrived (with the gaps that
// capture left in it, noted in the record file), and move the decoded text into the pane and the
// record file.
#include "app/main_window.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QStandardPaths>

#include <string>

#include "app/desktop_panels.h"
#include "app/label_texts.h"
#include "app/live_feed.h"
#include "app/live_record_file.h"
#include "app/settings.h"
#include "decoder/decoder.h"
#include "sources/capture_control.h"
#include "sources/sound_in.h"
#include "ui_main_window.h"

namespace nimbra {

void MainWindow::timerEvent(QTimerEvent* /*event*/)
{
    ui->graphicsView->viewport()->update();
    copyControlsIntoParameters();
    showTelemetry();
    feedLiveAudio();
    AppendDecodeText();
    writeRecordFile();
    panels_->refresh();
}

void MainWindow::showTelemetry()
{
    const LabelTexts t = makeLabelTexts(decoder_->telemetry);
    ui->label_ID->setText(t.id);
    ui->label_latitude->setText(t.latitude);
    ui->label_longitude->setText(t.longitude);
    ui->label_altitude->setText(t.altitude);
    ui->label_azimuth->setText(t.azimuth);
    ui->label_elevation->setText(t.elevation);
    ui->label_range->setText(t.range);
    ui->label_altitude_change->setText(t.ascent);
    ui->label_motion_velocity->setText(t.velocity);
    ui->label_motion_direction->setText(t.direction);
    ui->label_goodBad->setText(t.goodBad);
}

void MainWindow::feedLiveAudio()
{
    nimbra::feedLiveAudio(capture_->soundIn().queue(), *decoder_, arbiter_, [this](const QString& note) { noteInRecord(note); });
}

void MainWindow::noteInRecord(const QString& note)
{
    if (!decoder_->params.recordDecodedText)
        return;
    // In the record text the note stands between the lines decoded before the break and those
    // after it. While a WAVE decode holds the decoder, that text belongs to the WAVE's record
    // file: the note waits for the live record file's next write.
    if (arbiter_.feeder() == DecodeArbiter::Feeder::File) {
        pendingNotes_ << note;
        return;
    }
    decoder_->decodedRecordText.append((note + QLatin1Char('\r')).toUtf8().toStdString());
}

void MainWindow::writeRecordFile()
{
    Decoder& decoder = *decoder_;
    if (!decoder.params.recordDecodedText)
        return;
    // While a WAVE decode runs, the pending record text is its lines: they belong in the record
    // file beside the WAVE file, which the decoding thread writes after each chunk.
    if (arbiter_.feeder() == DecodeArbiter::Feeder::File)
        return;
    if (!recordFile) {
        // The user's data folder, as the program's own (~/.local/share/org.nimbra-project/Nimbra).
        const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                                QLatin1Char('/') + QLatin1String(kOrganization) + QLatin1Char('/') +
                                QLatin1String(kApplication);
        recordFile = openLiveRecordFile(QCoreApplication::applicationDirPath(), dataDir,
                                        QDateTime::currentDateTimeUtc(), this);
    }
    std::string text;
    for (const QString& note : pendingNotes_)
        text += (note + QLatin1Char('\r')).toUtf8().toStdString();
    pendingNotes_.clear();
    text += decoder.decodedRecordText.takeAll();
    if (recordFile->isOpen() && !text.empty()) {
        recordFile->write(text.data(), static_cast<qint64>(text.size()));
        recordFile->flush();
    }
}

}  // namespace nimbra
