// IqRecordingDialog: what the program cannot tell of an IQ recording from its name and header,
// asked of the user: the sample format, the rate, the centre frequency. What the name or the
// header told is filled in and fixed (a WAVE's rate, gqrx's everything); the rest starts from the
// answers given last time (SdrInputSettings' iq fields), which OK stores again.
//
// In:  the recording's path, what is known of it, the last answers.
// Out: recording(): the path, format, rate and frequency to decode it with.
#pragma once

#include <QDialog>

#include "app/sdr_input_settings.h"
#include "iq/iq_recording_name.h"
#include "sources/band_decode_thread.h"

namespace Ui {
class IqRecordingDialog;
}

namespace nimbra {

class IqRecordingDialog : public QDialog {
    Q_OBJECT

public:
    IqRecordingDialog(const QString& path, const iq::IqRecordingGuess& guess, const SdrInputSettings& last,
                      QWidget* parent = nullptr);
    ~IqRecordingDialog() override;

    // Whether the user must be asked at all: the format, the rate or the frequency is not known.
    static bool needed(const iq::IqRecordingGuess& guess);
    // The recording as the name and header tell it, when nothing needs asking.
    static BandDecodeThread::Recording fromGuess(const QString& path, const iq::IqRecordingGuess& guess);

    BandDecodeThread::Recording recording() const;
    // The answers to keep for next time.
    void remember(SdrInputSettings& settings) const;

private:
    void validate();

    Ui::IqRecordingDialog* ui;
    QString path_;
    iq::IqRecordingGuess guess_;
};

}  // namespace nimbra
