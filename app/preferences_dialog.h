// PreferencesDialog: the desktop program's own settings: the channel decoded from recordings
// with more than one, the folder of map tiles for the track view and its tile server (address,
// attribution, disk cache size, offline only), whether only trusted fixes count, and the burst
// altitude the landing prediction expects. A tile server address that is not usable is marked
// and keeps OK disabled.
//
// In:  the settings shown when it opens.
// Out: settings() and flightTracking() with the fields as edited; the caller stores them when the
//      dialog is accepted.
#pragma once

#include <QDialog>

#include "app/desktop_settings.h"
#include "app/flight_settings.h"

namespace Ui {
class PreferencesDialog;
}

namespace nimbra {

class PreferencesDialog : public QDialog {
    Q_OBJECT

public:
    PreferencesDialog(const DesktopSettings& settings, const FlightTrackingSettings& flight,
                      QWidget* parent = nullptr);
    ~PreferencesDialog() override;

    DesktopSettings settings() const;
    FlightTrackingSettings flightTracking() const;

private slots:
    void on_pushButtonBrowseTiles_clicked();

private:
    void validate();

    Ui::PreferencesDialog* ui;
    DesktopSettings settings_;
    FlightTrackingSettings flight_;
};

}  // namespace nimbra
