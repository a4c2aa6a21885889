// MainWindow construction and shut-down, and the mapping between controls and parameters.
#include "app/main_window.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileDialog>

#include <algorithm>
#include <cmath>

#include "app/settings.h"
#include "decoder/decoder.h"
#include "sources/file_decode_running.h"
#include "sources/sound_in.h"
#include "sources/wave_thread.h"
#include "ui_main_window.h"

namespace {

// The demodulators in the order of their demodType numbers.
const char* const kDemodNames[] = {
    QT_TRANSLATE_NOOP("MainWindow", "Edge Demod"),
    QT_TRANSLATE_NOOP("MainWindow", "Level Demod"),
    QT_TRANSLATE_NOOP("MainWindow", "Pattern Demod"),
    QT_TRANSLATE_NOOP("MainWindow", "Sync Demod"),
};

constexpr int kTickMs = 500;

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui(new Ui::MainWindow), recordFile(nullptr), soundIn_(nullptr)
{
    ui->setupUi(this);
    for (const char* name : kDemodNames)
        ui->comboBoxDemodType->addItem(tr(name));

    LoadSettings(nimbra::globalDecoder().params);
    putParametersIntoControls();

    chooseWaveFile_ = [this] {
        return QFileDialog::getOpenFileName(this, tr("Open"), QString(), tr("*.wav"));
    };

    startTimer(kTickMs);

    soundIn_ = new CSoundIn(this);
    soundIn = soundIn_;
    soundIn_->StartCapture(nimbra::globalDecoder().params.soundInputDeviceIndex);
}

MainWindow::~MainWindow()
{
    qDebug() << "Destroy MainWindow";
    soundIn_->StopCapture();
    // No decode may run on against a decoder and window that are going away.
    stopDecodes();
    SaveSettings(nimbra::globalDecoder().params);
    if (recordFile)
        recordFile->close();
    delete ui;
    if (soundIn == soundIn_)
        soundIn = nullptr;  // deleted with the window's other children
}

namespace {

// samplesPerBit x 1000, truncated toward zero, for the pattern-samples box. A damaged store can
// hold any float: NaN reads as 0 and values beyond +-1e9 are limited before the conversion to
// int, which would otherwise be undefined. The box clamps to 4000..6000 either way, so a huge
// value shows as 6000 and NaN as 4000.
int patternSamplesBoxValue(float samplesPerBit)
{
    const double thousandths = static_cast<double>(samplesPerBit) * 1000.0;
    if (std::isnan(thousandths))
        return 0;
    return static_cast<int>(std::clamp(thousandths, -1e9, 1e9));
}

}  // namespace

void MainWindow::putParametersIntoControls()
{
    const nimbra::DecoderParameters& p = nimbra::globalDecoder().params;
    ui->pushButton_invert->setChecked(p.invertSignal != 0);
    ui->pushButton_autoThreshold->setChecked(p.autoThreshold != 0);
    ui->pushButton_rejectBogus->setChecked(p.rejectBogus != 0);
    ui->pushButton_badCRC->setChecked(p.updateBadCrcPackets != 0);
    ui->comboBoxDemodType->setCurrentIndex(p.demodType);
    ui->spinBoxPatternSamples->setValue(patternSamplesBoxValue(p.samplesPerBit.load()));
    ui->pushButton_recordDecodedText->setChecked(p.recordDecodedText != 0);
    ui->spinBoxThreshold->setValue(static_cast<int>(p.threshold.load()));
}

void MainWindow::copyControlsIntoParameters()
{
    nimbra::DecoderParameters& p = nimbra::globalDecoder().params;
    p.demodType = ui->comboBoxDemodType->currentIndex();
    p.invertSignal = ui->pushButton_invert->isChecked() ? 1 : 0;
    p.autoThreshold = ui->pushButton_autoThreshold->isChecked() ? 1 : 0;
    p.rejectBogus = ui->pushButton_rejectBogus->isChecked() ? 1 : 0;
    p.updateBadCrcPackets = ui->pushButton_badCRC->isChecked() ? 1 : 0;
    p.recordDecodedText = ui->pushButton_recordDecodedText->isChecked() ? 1 : 0;
    if (p.autoThreshold)
        ui->spinBoxThreshold->setValue(static_cast<int>(p.threshold.load()));
    else
        p.threshold = static_cast<float>(ui->spinBoxThreshold->value());
    p.samplesPerBit = static_cast<float>(ui->spinBoxPatternSamples->value() / 1000.0);
}

QString MainWindow::testFilePath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("sample-flight.wav"));
}

QString MainWindow::recordFileName() const
{
    return recordFile ? recordFile->fileName() : QString();
}

void MainWindow::startFileDecode(const QString& fileName)
{
    if (decodeThread_) {
        pendingFiles_.append(fileName);
        qDebug() << "Decode of" << fileName << "queued: it starts when the running decode ends";
        return;
    }
    auto* thread = new MyThread;
    thread->SetFile(fileName);
    connect(thread, &MyThread::AppendDecodeText_mainwindow, this, &MainWindow::AppendDecodeText);
    connect(thread, &QThread::finished, this, &MainWindow::startNextDecode);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    decodeThread_ = thread;
    // Raised here, not only in the thread: the next tick of the live loop on this thread must
    // already leave the decoder to the file, even if the thread has not begun to run.
    nimbra::fileDecodeRunning.store(1);
    thread->start();
}

void MainWindow::startNextDecode()
{
    decodeThread_.clear();
    if (!pendingFiles_.isEmpty())
        startFileDecode(pendingFiles_.takeFirst());
}

void MainWindow::stopDecodes()
{
    pendingFiles_.clear();
    if (MyThread* thread = decodeThread_.data()) {
        qDebug() << "Stopping the decode of" << thread->fileName();
        thread->disconnect(this);
        thread->requestInterruption();
        thread->wait();
        delete thread;
    }
}
