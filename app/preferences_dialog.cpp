#include "app/preferences_dialog.h"

#include <QFileDialog>
#include <QPushButton>

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
    ui->lineEditTileUrl->setText(settings.tiles.urlTemplate);
    ui->lineEditTileAttribution->setText(settings.tiles.attribution);
    ui->spinBoxTileCache->setRange(DesktopSettings::kMinTileCacheMegabytes, DesktopSettings::kMaxTileCacheMegabytes);
    ui->spinBoxTileCache->setValue(settings.tiles.cacheMegabytes);
    ui->checkBoxTilesOffline->setChecked(settings.tiles.offlineOnly);
    connect(ui->lineEditTileUrl, &QLineEdit::textChanged, this, &PreferencesDialog::validate);
    validate();
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
    if (checkTileUrl(ui->lineEditTileUrl->text()).isEmpty())
        s.tiles.urlTemplate = ui->lineEditTileUrl->text().trimmed();
    s.tiles.attribution = ui->lineEditTileAttribution->text().trimmed();
    s.tiles.cacheMegabytes = ui->spinBoxTileCache->value();
    s.tiles.offlineOnly = ui->checkBoxTilesOffline->isChecked();
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

void PreferencesDialog::validate()
{
    const QString why = checkTileUrl(ui->lineEditTileUrl->text());
    ui->lineEditTileUrl->setProperty("invalid", !why.isEmpty());
    ui->lineEditTileUrl->setStyleSheet(why.isEmpty() ? QString() : QStringLiteral("background-color: #ffc8c8;"));
    ui->labelTileUrlProblem->setText(why.isEmpty() ? QString() : tr("Tile server: %1").arg(why));
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(why.isEmpty());
}

void PreferencesDialog::on_pushButtonBrowseTiles_clicked()
{
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Map tiles folder"), ui->lineEditTileFolder->text());
    if (!folder.isEmpty())
        ui->lineEditTileFolder->setText(folder);
}

}  // namespace nimbra
