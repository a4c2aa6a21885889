// PreferencesDialog: the desktop program's own settings: the channel decoded from recordings
// with more than one, and the folder of map tiles for the track view.
//
// In:  the settings shown when it opens.
// Out: settings() with the fields as edited; the caller stores them when the dialog is accepted.
#pragma once

#include <QDialog>

#include "app/desktop_settings.h"

namespace Ui {
class PreferencesDialog;
}

namespace nimbra {

class PreferencesDialog : public QDialog {
    Q_OBJECT

public:
    explicit PreferencesDialog(const DesktopSettings& settings, QWidget* parent = nullptr);
    ~PreferencesDialog() override;

    DesktopSettings settings() const;

private slots:
    void on_pushButtonBrowseTiles_clicked();

private:
    Ui::PreferencesDialog* ui;
    DesktopSettings settings_;
};

}  // namespace nimbra
