// InputConfig: Config's Input tab: the sound card, an SDR device (SoapySDR) or an rtl_tcp server,
// with the radio's frequency, rate, gain, correction and bias tee.
//
// In:  the SDR input settings shown when Config opens.
// Out: settings() as edited; valid() (false while the device, the address, the frequency or the
//      rate of the chosen input cannot be used; the field is marked) and validityChanged.
#pragma once

#include <QWidget>

#include "app/sdr_input_settings.h"

namespace Ui {
class InputConfig;
}

namespace nimbra {

class InputConfig : public QWidget {
    Q_OBJECT

public:
    explicit InputConfig(const SdrInputSettings& settings, QWidget* parent = nullptr);
    ~InputConfig() override;

    SdrInputSettings settings() const;
    bool valid() const { return valid_; }

signals:
    void validityChanged(bool valid);

private:
    void validate();
    void enableFields();

    Ui::InputConfig* ui;
    SdrInputSettings settings_;
    bool valid_ = true;
};

}  // namespace nimbra
