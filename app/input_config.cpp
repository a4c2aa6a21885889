#include "app/input_config.h"

#include <cmath>

#include "formats/frequency_text.h"
#include "iq/iq_format.h"
#include "ui_input_config.h"

namespace nimbra {

namespace {

std::optional<double> rateOf(const QString& text)
{
    bool ok = false;
    const double r = text.trimmed().toDouble(&ok);
    if (!ok || !(r >= iq::kMinIqRate) || !(r <= iq::kMaxIqRate))
        return std::nullopt;
    return r;
}

void mark(QWidget* w, const QString& why)
{
    w->setProperty("invalid", !why.isEmpty());
    w->setStyleSheet(why.isEmpty() ? QString() : QStringLiteral("background-color: #ffc8c8;"));
    w->setToolTip(why.isEmpty() ? w->property("normalTip").toString() : why);
}

}  // namespace

InputConfig::InputConfig(const SdrInputSettings& s, QWidget* parent)
    : QWidget(parent), ui(new Ui::InputConfig), settings_(s)
{
    ui->setupUi(this);
    ui->comboBox_input->setCurrentIndex(static_cast<int>(s.source));
    ui->lineEdit_soapyDevice->setText(s.soapyDevice);
    ui->lineEdit_rtlTcp->setText(s.rtlTcpAddress);
    ui->lineEdit_frequency->setText(QString::fromStdString(formats::formatMhz(s.frequencyHz)) + QStringLiteral("M"));
    ui->comboBox_rate->setCurrentText(QString::number(s.rate, 'f', 0));
    ui->checkBox_gainAuto->setChecked(s.gainAuto);
    ui->doubleSpinBox_gain->setValue(s.gainDb);
    ui->spinBox_ppm->setValue(s.ppm);
    ui->checkBox_biasTee->setChecked(s.biasTee);
    for (QWidget* w : {static_cast<QWidget*>(ui->lineEdit_soapyDevice), static_cast<QWidget*>(ui->lineEdit_rtlTcp),
                       static_cast<QWidget*>(ui->lineEdit_frequency), static_cast<QWidget*>(ui->comboBox_rate)})
        w->setProperty("normalTip", w->toolTip());
    for (QLineEdit* e : {ui->lineEdit_soapyDevice, ui->lineEdit_rtlTcp, ui->lineEdit_frequency})
        connect(e, &QLineEdit::textChanged, this, &InputConfig::validate);
    connect(ui->comboBox_rate, &QComboBox::currentTextChanged, this, &InputConfig::validate);
    connect(ui->comboBox_input, &QComboBox::currentIndexChanged, this, [this] {
        enableFields();
        validate();
    });
    connect(ui->checkBox_gainAuto, &QCheckBox::toggled, this, &InputConfig::enableFields);
    enableFields();
    validate();
}

InputConfig::~InputConfig() { delete ui; }

void InputConfig::enableFields()
{
    const int input = ui->comboBox_input->currentIndex();
    const bool radio = input != 0;
    ui->lineEdit_soapyDevice->setEnabled(input == 1);
    ui->lineEdit_rtlTcp->setEnabled(input == 2);
    for (QWidget* w : {static_cast<QWidget*>(ui->lineEdit_frequency), static_cast<QWidget*>(ui->comboBox_rate),
                       static_cast<QWidget*>(ui->checkBox_gainAuto), static_cast<QWidget*>(ui->spinBox_ppm),
                       static_cast<QWidget*>(ui->checkBox_biasTee)})
        w->setEnabled(radio);
    ui->doubleSpinBox_gain->setEnabled(radio && !ui->checkBox_gainAuto->isChecked());
}

void InputConfig::validate()
{
    const int input = ui->comboBox_input->currentIndex();
    const bool radio = input != 0;
    QString device, address, frequency, rate;
    if (input == 1 && ui->lineEdit_soapyDevice->text().trimmed().isEmpty())
        device = tr("name the device: driver=rtlsdr for an RTL-SDR");
    if (input == 2) {
        sdr::DeviceAddress parsed;
        std::string error;
        const QString text = ui->lineEdit_rtlTcp->text().trimmed();
        if (text.isEmpty() || !sdr::parseDeviceAddress("rtl_tcp://" + text.toStdString(), parsed, error))
            address = tr("expected HOST or HOST:PORT of an rtl_tcp server");
    }
    if (radio) {
        const auto hz = formats::parseFrequencyHz(ui->lineEdit_frequency->text().trimmed().toStdString());
        if (!hz || *hz < 1e6 || *hz > 7e9)
            frequency = tr("expected a frequency such as 1680M or 1680000000");
        if (!rateOf(ui->comboBox_rate->currentText()))
            rate = tr("expected samples per second, 48000 to 10000000");
    }
    mark(ui->lineEdit_soapyDevice, device);
    mark(ui->lineEdit_rtlTcp, address);
    mark(ui->lineEdit_frequency, frequency);
    mark(ui->comboBox_rate, rate);
    const bool all = device.isEmpty() && address.isEmpty() && frequency.isEmpty() && rate.isEmpty();
    if (all != valid_) {
        valid_ = all;
        emit validityChanged(all);
    }
}

SdrInputSettings InputConfig::settings() const
{
    SdrInputSettings s = settings_;
    s.source = static_cast<SdrInputSettings::Source>(ui->comboBox_input->currentIndex());
    if (!ui->lineEdit_soapyDevice->text().trimmed().isEmpty())
        s.soapyDevice = ui->lineEdit_soapyDevice->text().trimmed();
    if (!ui->lineEdit_rtlTcp->text().trimmed().isEmpty())
        s.rtlTcpAddress = ui->lineEdit_rtlTcp->text().trimmed();
    if (const auto hz = formats::parseFrequencyHz(ui->lineEdit_frequency->text().trimmed().toStdString());
        hz && *hz >= 1e6 && *hz <= 7e9)
        s.frequencyHz = *hz;
    if (const auto r = rateOf(ui->comboBox_rate->currentText()))
        s.rate = *r;
    s.gainAuto = ui->checkBox_gainAuto->isChecked();
    s.gainDb = ui->doubleSpinBox_gain->value();
    s.ppm = ui->spinBox_ppm->value();
    s.biasTee = ui->checkBox_biasTee->isChecked();
    return s;
}

}  // namespace nimbra
