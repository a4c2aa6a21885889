#include "app/preferences_dialog.h"

#include <QFileDialog>

#include "ui_preferences_dialog.h"

namespace nimbra {

PreferencesDialog::PreferencesDialog(const DesktopSettings& settings, QWidget* parent)
    : QDialog(parent), ui(new Ui::PreferencesDialog), settings_(settings)
{
    ui->setupUi(this);
    ui->spinBoxWaveChannel->setMaximum(DesktopSettings::kMaxChannel);
    ui->spinBoxWaveChannel->setValue(settings.waveChannel);
    ui->lineEditTileFolder->setText(settings.tileFolder);
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

void PreferencesDialog::on_pushButtonBrowseTiles_clicked()
{
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Map tiles folder"), ui->lineEditTileFolder->text());
    if (!folder.isEmpty())
        ui->lineEditTileFolder->setText(folder);
}

}  // namespace nimbra
