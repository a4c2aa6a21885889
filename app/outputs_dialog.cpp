#include "app/outputs_dialog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QPushButton>

#include "ui_outputs_dialog.h"

namespace nimbra {

OutputsDialog::OutputsDialog(const OutputSettings& s, QWidget* parent) : QDialog(parent), ui(new Ui::OutputsDialog)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);

    ui->groupBoxUdp->setChecked(s.udpEnabled);
    ui->lineEdit_udpAddress->setText(s.udpAddress);
    ui->groupBoxSondeHub->setChecked(s.sondehubEnabled);
    ui->lineEdit_sondehubCallsign->setText(s.sondehubCallsign);
    ui->lineEdit_sondehubUrl->setText(s.sondehubUrl);
    ui->lineEdit_sondehubSpool->setText(s.sondehubSpool);
    ui->doubleSpinBox_sondehubInterval->setValue(s.sondehubIntervalS);
    ui->checkBox_shareStation->setChecked(s.shareStation);
    ui->checkBox_sondehubChase->setChecked(s.sondehubChase);
    ui->groupBoxMqtt->setChecked(s.mqttEnabled);
    ui->lineEdit_mqttUrl->setText(s.mqttUrl);
    ui->groupBoxLiveKml->setChecked(s.liveKmlEnabled);
    ui->lineEdit_liveKmlPath->setText(s.liveKmlPath);
    ui->lineEdit_stationName->setText(s.stationName);
    ui->lineEdit_stationName->setPlaceholderText(OutputSettings{}.effectiveStationName());
    ui->lineEdit_manufacturer->setText(s.manufacturer);
    ui->lineEdit_sondeType->setText(s.sondeType);
    ui->lineEdit_serial->setText(s.serialTemplate);

    chooseFile_ = [this] {
        return QFileDialog::getSaveFileName(this, tr("Live KML"), ui->lineEdit_liveKmlPath->text(), tr("*.kml"));
    };
    for (QLineEdit* edit : findChildren<QLineEdit*>())
        connect(edit, &QLineEdit::textChanged, this, &OutputsDialog::validate);
    for (QGroupBox* box : {ui->groupBoxUdp, ui->groupBoxSondeHub, ui->groupBoxMqtt, ui->groupBoxLiveKml})
        connect(box, &QGroupBox::toggled, this, &OutputsDialog::validate);
    validate();
}

OutputsDialog::~OutputsDialog()
{
    delete ui;
}

OutputSettings OutputsDialog::settings() const
{
    OutputSettings s;
    s.udpEnabled = ui->groupBoxUdp->isChecked();
    s.udpAddress = ui->lineEdit_udpAddress->text().trimmed();
    s.sondehubEnabled = ui->groupBoxSondeHub->isChecked();
    s.sondehubCallsign = ui->lineEdit_sondehubCallsign->text().trimmed();
    s.sondehubUrl = ui->lineEdit_sondehubUrl->text().trimmed();
    s.sondehubSpool = ui->lineEdit_sondehubSpool->text().trimmed();
    s.sondehubIntervalS = ui->doubleSpinBox_sondehubInterval->value();
    s.shareStation = ui->checkBox_shareStation->isChecked();
    s.sondehubChase = ui->checkBox_sondehubChase->isChecked();
    s.mqttEnabled = ui->groupBoxMqtt->isChecked();
    s.mqttUrl = ui->lineEdit_mqttUrl->text().trimmed();
    s.liveKmlEnabled = ui->groupBoxLiveKml->isChecked();
    s.liveKmlPath = ui->lineEdit_liveKmlPath->text().trimmed();
    s.stationName = ui->lineEdit_stationName->text().trimmed();
    s.manufacturer = ui->lineEdit_manufacturer->text().trimmed();
    s.sondeType = ui->lineEdit_sondeType->text().trimmed();
    s.serialTemplate = ui->lineEdit_serial->text().trimmed();
    return s;
}

bool OutputsDialog::mark(QLineEdit* edit, const QString& problem)
{
    const bool valid = problem.isEmpty();
    edit->setProperty("invalid", !valid);
    edit->setStyleSheet(valid ? QString() : QStringLiteral("background-color: #ffc8c8;"));
    edit->setToolTip(problem);
    return valid;
}

void OutputsDialog::validate()
{
    const OutputSettings s = settings();
    // The fields of an output that is off are left alone: they may hold a half-typed address.
    auto check = [](bool on, const QString& problem) { return on ? problem : QString(); };
    bool ok = true;
    ok &= mark(ui->lineEdit_udpAddress, check(s.udpEnabled, checkUdpAddress(s.udpAddress)));
    ok &= mark(ui->lineEdit_sondehubCallsign, check(s.sondehubEnabled, checkCallsign(s.sondehubCallsign)));
    ok &= mark(ui->lineEdit_sondehubUrl, check(s.sondehubEnabled, checkHttpUrl(s.sondehubUrl)));
    ok &= mark(ui->lineEdit_mqttUrl, check(s.mqttEnabled, checkMqttUrl(s.mqttUrl)));
    ok &= mark(ui->lineEdit_liveKmlPath, check(s.liveKmlEnabled, checkFileName(s.liveKmlPath)));
    ok &= mark(ui->lineEdit_stationName, checkStationName(s.stationName));
    ok &= mark(ui->lineEdit_manufacturer, checkName(s.manufacturer));
    ok &= mark(ui->lineEdit_sondeType, checkName(s.sondeType));
    ok &= mark(ui->lineEdit_serial, checkSerialTemplate(s.serialTemplate));
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(ok);
}

void OutputsDialog::on_toolButton_liveKmlBrowse_clicked()
{
    const QString name = chooseFile_();
    if (!name.isEmpty())
        ui->lineEdit_liveKmlPath->setText(name);
}

void OutputsDialog::on_buttonBox_accepted()
{
    // OK is enabled only while every field in use is valid.
    settings().save();
    emit outputsChanged();
}

}  // namespace nimbra
