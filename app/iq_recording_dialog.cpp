#include "app/iq_recording_dialog.h"

#include <QFileInfo>
#include <QPushButton>

#include <cmath>

#include "formats/frequency_text.h"
#include "ui_iq_recording_dialog.h"

namespace nimbra {

namespace {

// The combo box's entries, in its order.
const iq::IqFormat kFormats[] = {iq::IqFormat::Cu8, iq::IqFormat::Cs8, iq::IqFormat::Cs16, iq::IqFormat::Cf32,
                                 iq::IqFormat::Wave};

int indexOf(iq::IqFormat f)
{
    for (int i = 0; i < 5; ++i)
        if (kFormats[i] == f)
            return i;
    return 0;
}

std::optional<double> rateOf(const QString& text)
{
    bool ok = false;
    const double r = text.trimmed().toDouble(&ok);
    return ok && r >= iq::kMinIqRate && r <= iq::kMaxIqRate ? std::optional<double>(r) : std::nullopt;
}

}  // namespace

bool IqRecordingDialog::needed(const iq::IqRecordingGuess& g)
{
    return !g.format || !g.rate || !g.tunedHz;
}

BandDecodeThread::Recording IqRecordingDialog::fromGuess(const QString& path, const iq::IqRecordingGuess& g)
{
    BandDecodeThread::Recording r;
    r.path = path;
    r.format = g.format.value_or(iq::IqFormat::Cu8);
    r.rate = g.rate.value_or(0.0);
    r.tunedHz = g.tunedHz.value_or(std::nan(""));
    return r;
}

IqRecordingDialog::IqRecordingDialog(const QString& path, const iq::IqRecordingGuess& g, const SdrInputSettings& last,
                                     QWidget* parent)
    : QDialog(parent), ui(new Ui::IqRecordingDialog), path_(path), guess_(g)
{
    ui->setupUi(this);
    const QString told = g.program.empty() ? tr("its name and header") : QString::fromStdString(g.program) + tr("'s name");
    ui->label_file->setText(tr("%1\nWhat %2 did not tell:").arg(QFileInfo(path).fileName(), told));
    const iq::IqFormat format = g.format.value_or(iq::parseIqFormat(last.iqFormat.toStdString()).value_or(iq::IqFormat::Cu8));
    ui->comboBox_format->setCurrentIndex(indexOf(format));
    ui->comboBox_format->setEnabled(!g.format);
    ui->comboBox_rate->setCurrentText(QString::number(g.rate.value_or(last.iqRate), 'f', 0));
    ui->comboBox_rate->setEnabled(!g.rate);
    const double hz = g.tunedHz.value_or(last.iqFrequencyHz);
    ui->lineEdit_frequency->setText(hz > 0 ? QString::fromStdString(formats::formatMhz(hz)) + QStringLiteral("M") : QString());
    ui->lineEdit_frequency->setEnabled(!g.tunedHz);
    connect(ui->comboBox_rate, &QComboBox::currentTextChanged, this, &IqRecordingDialog::validate);
    connect(ui->lineEdit_frequency, &QLineEdit::textChanged, this, &IqRecordingDialog::validate);
    validate();
}

IqRecordingDialog::~IqRecordingDialog() { delete ui; }

void IqRecordingDialog::validate()
{
    QString why;
    const QString f = ui->lineEdit_frequency->text().trimmed();
    if (!rateOf(ui->comboBox_rate->currentText()))
        why = tr("The rate must be 48000 to 10000000 samples per second.");
    else if (!f.isEmpty() && !formats::parseFrequencyHz(f.toStdString()))
        why = tr("The frequency is a number of Hz, or with k, M or G (1680M); empty when not known.");
    ui->label_problem->setText(why);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(why.isEmpty());
}

BandDecodeThread::Recording IqRecordingDialog::recording() const
{
    BandDecodeThread::Recording r;
    r.path = path_;
    r.format = kFormats[std::clamp(ui->comboBox_format->currentIndex(), 0, 4)];
    r.rate = guess_.rate.value_or(rateOf(ui->comboBox_rate->currentText()).value_or(0.0));
    const QString f = ui->lineEdit_frequency->text().trimmed();
    r.tunedHz = guess_.tunedHz ? *guess_.tunedHz
                               : formats::parseFrequencyHz(f.toStdString()).value_or(std::nan(""));
    return r;
}

void IqRecordingDialog::remember(SdrInputSettings& s) const
{
    const BandDecodeThread::Recording r = recording();
    if (!guess_.format)
        s.iqFormat = QString::fromLatin1(iq::iqFormatName(r.format));
    if (!guess_.rate && r.rate > 0)
        s.iqRate = r.rate;
    if (!guess_.tunedHz && std::isfinite(r.tunedHz))
        s.iqFrequencyHz = r.tunedHz;
}

}  // namespace nimbra
