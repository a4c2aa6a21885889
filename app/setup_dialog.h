// SetupDialog: edits the station position, the plausible range, the PTU display flags and the
// sound input device, straight in the decoder parameters it is given (the live ones of the
// window's decoder). On its right, tabs stored in the settings on OK: the input (InputConfig: the
// sound card, or an SDR and its settings) and the station's (StationConfig: the position from a
// GPS, the rotator).
//
// In:  the decoder parameters (shown when the dialog opens) and the audio input list.
// Out: on OK the parameters are stored and ConfigWasChanged_mainwindow() is emitted, so that the
//      window restarts capture on the chosen device. Cancel stores nothing.
//
// A number field whose text does not parse (a comma as decimal separator, letters, empty) is
// marked and OK stays disabled until every field parses: a typo never stores 0 and moves the
// station to the equator. The dialog is deleted on close.
#pragma once

#include <QDialog>

class QLineEdit;

namespace Ui {
class SetupDialog;
}

namespace nimbra {

struct DecoderParameters;
class InputConfig;
class StationConfig;

class SetupDialog : public QDialog {
    Q_OBJECT

public:
    // The parameters must outlive the dialog.
    explicit SetupDialog(DecoderParameters& params, QWidget* parent = nullptr);
    ~SetupDialog() override;

    // The number in text, read with a decimal point whatever the locale; false when the text is
    // not a number or the number does not fit a float.
    static bool parseNumber(const QString& text, float* value);
    StationConfig* stationConfig() const { return station_; }
    InputConfig* inputConfig() const { return input_; }

signals:
    void ConfigWasChanged_mainwindow();

private slots:
    void on_buttonBox_accepted();

private:
    void validate();

    Ui::SetupDialog* ui;
    DecoderParameters& params_;
    StationConfig* station_;
    InputConfig* input_;
};

}  // namespace nimbra
