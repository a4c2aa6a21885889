// The mapping between the main window's controls and the decoder parameters: the parameters go
// into the controls once at start-up, and the controls go back into the parameters on every tick.
#include "app/main_window.h"

#include <algorithm>
#include <cmath>

#include "decoder/decoder.h"
#include "ui_main_window.h"

namespace nimbra {

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
    const DecoderParameters& p = decoder_->params;
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
    DecoderParameters& p = decoder_->params;
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

}  // namespace nimbra
