#include "app/setup_dialog.h"

#include <QDebug>
#include <QAudioDevice>
#include <QCoreApplication>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

#include "app/c_format.h"
#include "app/input_config.h"
#include "app/station_config.h"
#include "demod/decoder_parameters.h"
#include "sources/audio_backend.h"
#include "ui_setup_dialog.h"

namespace nimbra {

SetupDialog::SetupDialog(DecoderParameters& params, QWidget* parent)
    : QDialog(parent), ui(new Ui::SetupDialog), params_(params), station_(nullptr), input_(nullptr)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    station_ = new StationConfig(StationSettings::load(), ui->widget_station);
    auto* stationLayout = new QVBoxLayout(ui->widget_station);
    stationLayout->setContentsMargins(0, 0, 0, 0);
    stationLayout->addWidget(station_);
    connect(station_, &StationConfig::validityChanged, this, &SetupDialog::validate);
    input_ = new InputConfig(SdrInputSettings::load());
    station_->tabs()->insertTab(0, input_, QCoreApplication::translate("SetupDialog", "Input"));
    station_->tabs()->setCurrentIndex(0);
    connect(input_, &InputConfig::validityChanged, this, &SetupDialog::validate);

    const DecoderParameters& p = params_;
    ui->lineEdit_latitude->setText(cFormat("%g", static_cast<double>(p.userLat.load())));
    ui->lineEdit_longitude->setText(cFormat("%g", static_cast<double>(p.userLon.load())));
    ui->lineEdit_altitude->setText(cFormat("%g", static_cast<double>(p.userAlt.load())));
    ui->lineEdit_range->setText(cFormat("%g", static_cast<double>(p.maxRange.load())));
    ui->checkBoxPsuData->setChecked(p.displayPsuData != 0);
    ui->checkBoxCalibrationData->setChecked(p.displayCalibrationData != 0);

    // The same enumeration that the sound input indexes: an entry's position is its index. (Empty
    // until the audio server has answered: Qt's audio is not touched before, see AudioBackend.)
    const QList<QAudioDevice> devices = AudioBackend::instance().inputs();
    for (const QAudioDevice& device : devices)
        ui->comboBoxSndIn->addItem(device.description());
    ui->comboBoxSndIn->setCurrentIndex(p.soundInputDeviceIndex);

    for (QLineEdit* edit : {ui->lineEdit_latitude, ui->lineEdit_longitude, ui->lineEdit_altitude,
                            ui->lineEdit_range})
        connect(edit, &QLineEdit::textChanged, this, &SetupDialog::validate);
    validate();
}

SetupDialog::~SetupDialog()
{
    delete ui;
}

bool SetupDialog::parseNumber(const QString& text, float* value)
{
    bool ok = false;
    const double number = text.toDouble(&ok);  // always '.' as the decimal point
    if (!ok || !std::isfinite(number) || !std::isfinite(static_cast<float>(number)))
        return false;
    *value = static_cast<float>(number);
    return true;
}

void SetupDialog::validate()
{
    bool allValid = true;
    for (QLineEdit* edit : {ui->lineEdit_latitude, ui->lineEdit_longitude, ui->lineEdit_altitude,
                            ui->lineEdit_range}) {
        float unused = 0.0f;
        const bool valid = parseNumber(edit->text(), &unused);
        edit->setProperty("invalid", !valid);
        edit->setStyleSheet(valid ? QString() : QStringLiteral("background-color: #ffc8c8;"));
        edit->setToolTip(valid ? QString() : QCoreApplication::translate("SetupDialog", "Not a number: use a point as the decimal separator"));
        allValid = allValid && valid;
    }
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(allValid && station_->valid() && (!input_ || input_->valid()));
}

void SetupDialog::on_buttonBox_accepted()
{
    qDebug() << "OK";
    DecoderParameters& p = params_;
    float value = 0.0f;
    // OK is only enabled while every field parses; a field is still checked before it is stored.
    if (parseNumber(ui->lineEdit_range->text(), &value))
        p.maxRange = value;
    if (parseNumber(ui->lineEdit_latitude->text(), &value))
        p.userLat = value;
    if (parseNumber(ui->lineEdit_longitude->text(), &value))
        p.userLon = value;
    if (parseNumber(ui->lineEdit_altitude->text(), &value))
        p.userAlt = value;
    p.displayPsuData = ui->checkBoxPsuData->isChecked() ? 1 : 0;
    p.displayCalibrationData = ui->checkBoxCalibrationData->isChecked() ? 1 : 0;
    p.soundInputDeviceIndex = ui->comboBoxSndIn->currentIndex();
    if (station_->valid())
        station_->settings().save();
    if (input_->valid())
        input_->settings().save();
    emit ConfigWasChanged_mainwindow();
}

}  // namespace nimbra
