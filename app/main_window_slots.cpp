// MainWindow slots: the menu actions, the WAVE thread's text hand-over and the setup dialog's
// change notice.
#include "app/main_window.h"

#include <QDebug>

#include <string>

#include "app/about_dialog.h"
#include "app/setup_dialog.h"
#include "demod/decoder.h"
#include "sources/sound_in.h"
#include "ui_main_window.h"

void MainWindow::AppendDecodeText()
{
    std::string text = nimbra::globalDecoder().decodedDisplayText.takeAll();
    // The pane starts a new paragraph for each append, so the last line's terminator goes.
    if (!text.empty())
        text.pop_back();
    if (!text.empty())
        ui->packetTextBrowser->append(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

void MainWindow::ConfigWasChanged()
{
    qDebug() << "ConfigWasChanged";
    soundIn_->StopCapture();
    soundIn_->StartCapture(nimbra::globalDecoder().params.soundInputDeviceIndex);
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

void MainWindow::on_actionConfig_triggered()
{
    auto* dialog = new SetupDialog(this);
    connect(dialog, &SetupDialog::ConfigWasChanged_mainwindow, this, &MainWindow::ConfigWasChanged);
    dialog->show();
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
