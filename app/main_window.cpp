// MainWindow construction and shut-down.
#include "app/main_window.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QStatusBar>

#include "app/settings.h"
#include "decoder/decoder.h"
#include "sources/capture_control.h"
#include "sources/file_decode_queue.h"
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
      fileDecodes_(nullptr)
{
    ui->setupUi(this);
    ui->graphicsView->setScopeBuffer(&decoder_->scope);
    for (const char* name : kDemodNames)
        ui->comboBoxDemodType->addItem(translate(name));

    LoadSettings(decoder_->params);
    putParametersIntoControls();

    chooseWaveFile_ = [this] {
        return QFileDialog::getOpenFileName(this, translate("Open"), QString(), translate("*.wav"));
    };
    fileDecodes_ = new FileDecodeQueue(*decoder_, arbiter_, this);
    connect(fileDecodes_, &FileDecodeQueue::AppendDecodeText_mainwindow, this, &MainWindow::AppendDecodeText);

    startTimer(kTickMs);

    capture_ = new CaptureControl(decoder_->params, this);
    connect(capture_, &CaptureControl::captureFailed, this, &MainWindow::showCaptureFailure);
    connect(capture_, &CaptureControl::captureStarted, this, &MainWindow::clearCaptureFailure);
    capture_->start();
}

MainWindow::~MainWindow()
{
    qDebug() << "Destroy MainWindow";
    capture_->stop();
    // No decode may run on against a decoder and window that are going away.
    fileDecodes_->stop();
    SaveSettings(decoder_->params);
    if (recordFile)
        recordFile->close();
    // The view outlives the decoder by a moment (children go last): it must not keep its rings.
    ui->graphicsView->setScopeBuffer(nullptr);
    delete ui;
}

void MainWindow::showCaptureFailure(const QString& message)
{
    ui->statusBar->showMessage(message);
}

void MainWindow::clearCaptureFailure()
{
    ui->statusBar->clearMessage();
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
