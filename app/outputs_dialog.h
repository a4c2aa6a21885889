// OutputsDialog: File > "Outputs...": the network outputs (chase map, SondeHub, MQTT, live KML),
// each with its fields and an on/off box, and the names the outputs give the station and the sonde.
//
// In:  the settings (shown when the dialog opens).
// Out: on OK the settings are stored (group "Outputs" of the settings store) and
//      outputsChanged() is emitted, so that the window restarts its outputs. Cancel stores nothing.
//
// A field of an output that is on, or a name, whose text is not valid (an address without a
// port, a URL of the wrong kind, an empty callsign) is marked with the reason as its tooltip,
// and OK stays disabled until every such field is valid. The dialog is deleted on close.
#pragma once

#include <QDialog>

#include <functional>

#include "app/output_settings.h"

class QLineEdit;

namespace Ui {
class OutputsDialog;
}

namespace nimbra {

class OutputsDialog : public QDialog {
    Q_OBJECT

public:
    explicit OutputsDialog(const OutputSettings& settings, QWidget* parent = nullptr);
    ~OutputsDialog() override;

    // The settings as the fields hold them now.
    OutputSettings settings() const;
    // Where "..." gets the live KML's file name; a test replaces the file dialog.
    void setFileChooser(std::function<QString()> chooser) { chooseFile_ = std::move(chooser); }

signals:
    void outputsChanged();

private slots:
    void on_buttonBox_accepted();
    void on_toolButton_liveKmlBrowse_clicked();

private:
    void validate();
    // Marks `edit` when `problem` is not empty; returns whether it is valid.
    static bool mark(QLineEdit* edit, const QString& problem);

    Ui::OutputsDialog* ui;
    std::function<QString()> chooseFile_;
};

}  // namespace nimbra
