#include "app/preferences_dialog.h"

#include <QFileDialog>

#include <cmath>

#include "ui_preferences_dialog.h"

namespace nimbra {

PreferencesDialog::PreferencesDialog(const DesktopSettings& settings, const FlightTrackingSettings& flight,
                                     QWidget* parent)
    : QDialog(parent), ui(new Ui::PreferencesDialog), settings_(settings), flight_(flight)
{
    ui->setupUi(this);
    ui->spinBoxWaveChannel->setMaximum(DesktopSettings::kMaxChannel);
    ui->spinBoxWaveChannel->setValue(settings.waveChannel);
    ui->lineEditTileFolder->setText(settings.tileFolder);
    ui->checkBoxTrust->setChecked(flight.trust);
    ui->spinBoxBurstAltitude->setValue(static_cast<int>(std::lround(flight.burstAltitudeM)));
}

PreferencesDialog::~PreferencesDialog()
{
    delete ui;
}

DesktopSettings PreferencesDialog::settings() const
{
    DesktopSettings s = settings_;
    s.waveChannel = ui->spinBoxWaveChannel->value();
    s.tileFolder = ui->lineEditTileFolder->text().trimmed();
    return s;
}

FlightTrackingSettings PreferencesDialog::flightTracking() const
{
    FlightTrackingSettings f = flight_;
    f.trust = ui->checkBoxTrust->isChecked();
    // The field shows whole metres: a stored value it cannot show exactly stays unless edited.
    if (ui->spinBoxBurstAltitude->value() != static_cast<int>(std::lround(flight_.burstAltitudeM)))
        f.burstAltitudeM = ui->spinBoxBurstAltitude->value();
    return f;
}

void PreferencesDialog::on_pushButtonBrowseTiles_clicked()
{
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Map tiles folder"), ui->lineEditTileFolder->text());
    if (!folder.isEmpty())
        ui->lineEditTileFolder->setText(folder);
}

}  // namespace nimbra
