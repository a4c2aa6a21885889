#include "sources/capture_control.h"

#include "demod/decoder_parameters.h"
#include "sources/sound_in.h"

namespace nimbra {

CaptureControl::CaptureControl(const DecoderParameters& params, QObject* parent)
    : QObject(parent), params_(params), soundIn_(new CSoundIn(this))
{
}

bool CaptureControl::start()
{
    const bool started = soundIn_->StartCapture(params_.soundInputDeviceIndex);
    const QAudioDevice device = soundIn_->device();
    if (started) {
        emit captureStarted(device.description());
    } else if (device.isNull()) {
        emit captureFailed(tr("Sound input failed to start: no input device (live audio is not decoded)"));
    } else {
        emit captureFailed(tr("Sound input \"%1\" failed to start (live audio is not decoded)")
                               .arg(device.description()));
    }
    return started;
}

bool CaptureControl::restart()
{
    soundIn_->StopCapture();
    return start();
}

void CaptureControl::stop()
{
    soundIn_->StopCapture();
}

}  // namespace nimbra
