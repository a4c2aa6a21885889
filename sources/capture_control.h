// CaptureControl: the program's sound input (one CSoundIn, its child), started on the device that
// the decoder parameters name (soundInputDeviceIndex).
//
// In:  the decoder parameters, read at each start.
// Out: captureStarted(device description) or captureFailed(message) after every start, on the
//      GUI thread, besides the sound input's own trace lines. The message is for the user: it
//      names the device that did not start, or says that there is no input device.
//
// Live audio is only decoded while capture runs; a failed start leaves capture stopped until the
// next start (Config and OK), and WAVE files can still be decoded meanwhile.
#pragma once

#include <QObject>
#include <QString>

namespace nimbra {

struct DecoderParameters;
class CSoundIn;

class CaptureControl : public QObject {
    Q_OBJECT

public:
    // The parameters must outlive this object.
    explicit CaptureControl(const DecoderParameters& params, QObject* parent = nullptr);

    CSoundIn& soundIn() { return *soundIn_; }

    // StartCapture on the configured device; true when capture runs.
    bool start();
    // StopCapture, then start(): a newly chosen device takes effect.
    bool restart();
    void stop();

signals:
    void captureStarted(const QString& device);
    void captureFailed(const QString& message);

private:
    const DecoderParameters& params_;
    CSoundIn* soundIn_;
};

}  // namespace nimbra
