#include "app/signal_panel.h"

#include <QLabel>

#include <cmath>

#include "demod/input_level.h"
#include "ui_signal_panel.h"

namespace nimbra {

namespace {

QString dbText(float db)
{
    return std::isnan(db) ? QStringLiteral("-") : QString::number(double(db), 'f', 1);
}

}  // namespace

SignalPanel::SignalPanel(QWidget* parent) : QWidget(parent), ui(new Ui::SignalPanel)
{
    ui->setupUi(this);
    ui->label_clipping->setStyleSheet(QStringLiteral("QLabel { color: #c00000; font-weight: bold; }"));
}

SignalPanel::~SignalPanel()
{
    delete ui;
}

QString SignalPanel::rateText(const SignalStats::Rate& rate)
{
    if (rate.expected <= 0)
        return QStringLiteral("-");
    const int percent = std::min(100, rate.received * 100 / rate.expected);
    return tr("%1 of %2 GPS blocks (%3 %)").arg(rate.received).arg(rate.expected).arg(percent);
}

QString SignalPanel::phaseName(FlightPhase phase)
{
    switch (phase) {
    case FlightPhase::Ascent:
        return tr("Ascent");
    case FlightPhase::Burst:
        return tr("Burst");
    case FlightPhase::Descent:
        return tr("Descent");
    case FlightPhase::Landed:
        return tr("Landed");
    case FlightPhase::Unknown:
        break;
    }
    return QStringLiteral("-");
}

void SignalPanel::show(const SignalStats::Figures& f, const InputLevel* level, const QString& input)
{
    ui->label_input->setText(input.isEmpty() ? QStringLiteral("-") : input);
    ui->label_rate30->setText(rateText(f.shortWindow));
    ui->label_rate120->setText(rateText(f.longWindow));
    if (std::isnan(f.latestEbN0Db))
        ui->label_quality->setText(QStringLiteral("-"));
    else
        ui->label_quality->setText(tr("%1 dB (median %2 dB)").arg(dbText(f.latestEbN0Db), dbText(f.medianEbN0Db)));
    ui->label_repaired->setText(tr("%n bit(s)", nullptr, f.bitsRepaired) +
                                tr(" in %n block(s)", nullptr, f.blocksRepaired));
    ui->label_lastFix->setText(f.secondsSinceFix < 0.0 ? tr("none yet")
                                                       : tr("%1 s ago").arg(static_cast<int>(f.secondsSinceFix)));
    if (!level) {
        ui->label_level->setText(QStringLiteral("-"));
        ui->progressBar_level->setValue(ui->progressBar_level->minimum());
        ui->label_clipping->clear();
        return;
    }
    const float peak = level->peakDbfs;
    ui->label_level->setText(tr("peak %1 dBFS, RMS %2 dBFS").arg(dbText(peak), dbText(level->rmsDbfs)));
    ui->progressBar_level->setValue(std::clamp(static_cast<int>(std::lround(peak)), ui->progressBar_level->minimum(), 0));
    ui->label_clipping->setText(level->clippedSamples.load() > 0 ? tr("CLIPPING") : QString());
}

void SignalPanel::setPhase(FlightPhase phase)
{
    ui->label_phase->setText(phaseName(phase));
}

void SignalPanel::setDistances(const QString& toSonde, const QString& toLanding)
{
    ui->label_toSonde->setText(toSonde.isEmpty() ? QStringLiteral("-") : toSonde);
    ui->label_toLanding->setText(toLanding.isEmpty() ? QStringLiteral("-") : toLanding);
}

QString SignalPanel::text(const char* field) const
{
    const auto* label = findChild<QLabel*>(QStringLiteral("label_") + QLatin1String(field));
    return label ? label->text() : QString();
}

}  // namespace nimbra
