#include "app/desktop_outputs.h"

#include <QDebug>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

#include "app/output_settings.h"
#include "app/outputs_dialog.h"
#include "demod/decoder_parameters.h"
#include "flight/flight_fix.h"

namespace nimbra {

namespace {

constexpr int kRefreshMs = 500;
constexpr double kRestartWaitS = 1.0;

}  // namespace

DesktopOutputs::DesktopOutputs(const DecoderParameters& params, QStatusBar* statusBar, QObject* parent)
    : QObject(parent), params_(params), label_(new QLabel)
{
    label_->setObjectName(QStringLiteral("outputsStatus"));
    statusBar->addPermanentWidget(label_);
    label_->hide();
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &DesktopOutputs::refresh);
    timer->start(kRefreshMs);
    restart();
}

DesktopOutputs::~DesktopOutputs() { set_.stop(); }

void DesktopOutputs::publish(const FlightFix& fix) { set_.publish(fix); }

void DesktopOutputs::openDialog(QWidget* parent)
{
    auto* dialog = new OutputsDialog(OutputSettings::load(), parent);
    connect(dialog, &OutputsDialog::outputsChanged, this, &DesktopOutputs::restart);
    dialog->show();
}

void DesktopOutputs::restart()
{
    stop(kRestartWaitS);
    outputs::OutputConfig config;
    QString error;
    const OutputSettings settings = OutputSettings::load();
    startError_.clear();
    stationLat_ = params_.userLat.load();
    stationLon_ = params_.userLon.load();
    stationAlt_ = params_.userAlt.load();
    if (!settings.toConfig(params_, config, error)) {
        startError_ = tr("Outputs: %1").arg(error);
    } else if (config.any()) {
        // The GPS's position goes out only where the user lets it: as the station's, or as the
        // chase car's.
        if (moving_ && (settings.shareStation || settings.sondehubChase))
            config.livePosition = positionSource_;
        config.sondehubChase = moving_ && settings.sondehubChase;
        std::string why;
        if (!set_.start(config, "nimbra", why))
            startError_ = tr("Outputs: %1").arg(QString::fromStdString(why));
    }
    if (!startError_.isEmpty())
        qWarning().noquote() << startError_;
    refresh();
}

void DesktopOutputs::setPositionSource(outputs::PositionSource source, bool moving)
{
    positionSource_ = std::move(source);
    moving_ = moving;
    restart();
}

void DesktopOutputs::followStation()
{
    if (params_.userLat.load() != stationLat_ || params_.userLon.load() != stationLon_ ||
        params_.userAlt.load() != stationAlt_)
        restart();
}

void DesktopOutputs::stop(double waitSeconds)
{
    set_.beginFinish(waitSeconds);
    set_.clear();
}

QString DesktopOutputs::statusText() const
{
    if (!startError_.isEmpty())
        return startError_;
    QStringList parts;
    for (const outputs::OutputStatus& s : set_.statuses())
        parts << QString::fromStdString(s.problem ? s.name + ": " + s.state : s.summary());
    return parts.join(QStringLiteral("  |  "));
}

void DesktopOutputs::refresh()
{
    for (const outputs::StateLine& line : set_.takeStateLines()) {
        if (line.problem)
            qWarning().noquote() << QString::fromStdString(line.text);
        else
            qInfo().noquote() << QString::fromStdString(line.text);
    }
    const QString text = statusText();
    label_->setText(text);
    label_->setVisible(!text.isEmpty());
}

}  // namespace nimbra
