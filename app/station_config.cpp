#include "app/station_config.h"

#include "ui_station_config.h"

namespace nimbra {

StationConfig::StationConfig(const StationSettings& s, QWidget* parent)
    : QWidget(parent), ui(new Ui::StationConfig), settings_(s)
{
    ui->setupUi(this);
    (s.positionFromGps ? ui->radioButton_gpsPosition : ui->radioButton_typedPosition)->setChecked(true);
    ui->lineEdit_gpsdHost->setText(s.gpsdHost);
    ui->spinBox_gpsdPort->setValue(s.gpsdPort);
    ui->checkBox_rotator->setChecked(s.rotatorOn);
    ui->lineEdit_rotatorHost->setText(s.rotatorHost);
    ui->spinBox_rotatorPort->setValue(s.rotatorPort);
    ui->doubleSpinBox_threshold->setValue(s.thresholdDeg);
    ui->doubleSpinBox_interval->setValue(s.intervalS);
    ui->checkBox_azimuthOnly->setChecked(s.azimuthOnly);
    ui->checkBox_home->setChecked(s.homeOn);
    ui->doubleSpinBox_homeAfter->setValue(s.homeAfterMinutes);
    ui->doubleSpinBox_homeAzimuth->setValue(s.homeAzimuth);
    ui->doubleSpinBox_homeElevation->setValue(s.homeElevation);
    for (QLineEdit* e : {ui->lineEdit_gpsdHost, ui->lineEdit_rotatorHost})
        connect(e, &QLineEdit::textChanged, this, &StationConfig::validate);
    for (QAbstractButton* b : {static_cast<QAbstractButton*>(ui->radioButton_gpsPosition),
                               static_cast<QAbstractButton*>(ui->checkBox_rotator),
                               static_cast<QAbstractButton*>(ui->checkBox_home),
                               static_cast<QAbstractButton*>(ui->checkBox_azimuthOnly)})
        connect(b, &QAbstractButton::toggled, this, [this] {
            enableFields();
            validate();
        });
    enableFields();
    validate();
}

StationConfig::~StationConfig() { delete ui; }

QTabWidget* StationConfig::tabs() const { return ui->tabWidget; }

void StationConfig::enableFields()
{
    const bool gps = ui->radioButton_gpsPosition->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(ui->lineEdit_gpsdHost), static_cast<QWidget*>(ui->spinBox_gpsdPort)})
        w->setEnabled(gps);
    const bool rotator = ui->checkBox_rotator->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(ui->lineEdit_rotatorHost), static_cast<QWidget*>(ui->spinBox_rotatorPort),
                       static_cast<QWidget*>(ui->doubleSpinBox_threshold), static_cast<QWidget*>(ui->doubleSpinBox_interval),
                       static_cast<QWidget*>(ui->checkBox_azimuthOnly), static_cast<QWidget*>(ui->checkBox_home)})
        w->setEnabled(rotator);
    const bool home = rotator && ui->checkBox_home->isChecked();
    ui->doubleSpinBox_homeAfter->setEnabled(home);
    ui->doubleSpinBox_homeAzimuth->setEnabled(home);
    ui->doubleSpinBox_homeElevation->setEnabled(home && !ui->checkBox_azimuthOnly->isChecked());
}

void StationConfig::validate()
{
    bool all = true;
    for (auto [edit, used] : {std::pair{ui->lineEdit_gpsdHost, ui->radioButton_gpsPosition->isChecked()},
                              std::pair{ui->lineEdit_rotatorHost, ui->checkBox_rotator->isChecked()}}) {
        const QString why = used ? StationSettings::checkHost(edit->text()) : QString();
        edit->setProperty("invalid", !why.isEmpty());
        edit->setStyleSheet(why.isEmpty() ? QString() : QStringLiteral("background-color: #ffc8c8;"));
        edit->setToolTip(why.isEmpty() ? QString() : why);
        all = all && why.isEmpty();
    }
    if (all != valid_) {
        valid_ = all;
        emit validityChanged(all);
    }
}

StationSettings StationConfig::settings() const
{
    StationSettings s = settings_;
    s.positionFromGps = ui->radioButton_gpsPosition->isChecked();
    s.gpsdHost = ui->lineEdit_gpsdHost->text().trimmed();
    s.gpsdPort = ui->spinBox_gpsdPort->value();
    s.rotatorOn = ui->checkBox_rotator->isChecked();
    s.rotatorHost = ui->lineEdit_rotatorHost->text().trimmed();
    s.rotatorPort = ui->spinBox_rotatorPort->value();
    s.thresholdDeg = ui->doubleSpinBox_threshold->value();
    s.intervalS = ui->doubleSpinBox_interval->value();
    s.azimuthOnly = ui->checkBox_azimuthOnly->isChecked();
    s.homeOn = ui->checkBox_home->isChecked();
    s.homeAfterMinutes = ui->doubleSpinBox_homeAfter->value();
    s.homeAzimuth = ui->doubleSpinBox_homeAzimuth->value();
    s.homeElevation = ui->doubleSpinBox_homeElevation->value();
    // A host field left unusable while its part is off keeps what was stored.
    if (!StationSettings::checkHost(s.gpsdHost).isEmpty())
        s.gpsdHost = settings_.gpsdHost;
    if (!StationSettings::checkHost(s.rotatorHost).isEmpty())
        s.rotatorHost = settings_.rotatorHost;
    return s;
}

}  // namespace nimbra
