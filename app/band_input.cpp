#include "app/band_input.h"

#include <QDebug>
#include <QTimer>

#include <cmath>

#include "app/fix_feed.h"
#include "app/status_messages.h"
#include "sources/band_decode_thread.h"

namespace nimbra {

BandInput::BandInput(Decoder& decoder, DecodeArbiter& arbiter, FixFeed& feed, StatusMessages& messages,
                     QObject* parent)
    : QObject(parent), decoder_(decoder), arbiter_(arbiter), feed_(feed), messages_(messages)
{
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &BandInput::tick);
    timer->start(500);
}

BandInput::~BandInput() { stop(); }

void BandInput::stop()
{
    if (!thread_)
        return;
    qDebug().noquote() << "SDR input stopped:" << settings_.describe();
    thread_->requestInterruption();
    thread_->wait();
    thread_.reset();
    messages_.clear(StatusMessages::Capture);
    emit stopped();
}

bool BandInput::sameRadio(const SdrInputSettings& s) const
{
    return running() && s.describe() == settings_.describe() && s.gainAuto == settings_.gainAuto &&
           s.gainDb == settings_.gainDb && s.ppm == settings_.ppm && s.biasTee == settings_.biasTee;
}

void BandInput::apply(const SdrInputSettings& s, const flight::TrackerSettings& tracking)
{
    stop();
    settings_ = s;
    if (!s.sdr())
        return;
    BandDecodeThread::Radio radio;
    QString error;
    if (!s.toDevice(radio.address, radio.settings, error)) {
        messages_.set(StatusMessages::Capture, tr("SDR input: %1 (nothing is decoded; see Config, Input)").arg(error));
        return;
    }
    thread_ = std::make_unique<BandDecodeThread>(decoder_, arbiter_, radio, tracking);
    thread_->setFixSink([this](const FlightFix& f) { feed_.pushTracked(f); });
    thread_->setBlockSink([this](int channel, const PacketEvent& b) { feed_.pushBlock(channel, b); });
    shown_ = sdr::DeviceStatus::State::Connecting;
    wasRunning_ = false;
    thread_->start();
    qDebug().noquote() << "SDR input started:" << s.describe();
    messages_.set(StatusMessages::Capture, tr("SDR %1: connecting").arg(s.describe()));
    emit started();
}

void BandInput::tick()
{
    if (!thread_)
        return;
    const BandSnapshot snap = thread_->snapshot();
    const sdr::DeviceStatus& st = snap.device;
    if (st.state == shown_ && !(st.state == sdr::DeviceStatus::State::Reconnecting))
        return;
    const QString device = QString::fromStdString(st.device.empty() ? settings_.describe().toStdString() : st.device);
    const QString problem = QString::fromStdString(st.problem);
    switch (st.state) {
    case sdr::DeviceStatus::State::Running:
        if (wasRunning_ && lostAt_.isValid())
            messages_.set(StatusMessages::Capture,
                          tr("SDR %1 resumed at %2 UTC after a gap of %3 s")
                              .arg(device, QDateTime::currentDateTimeUtc().toString(QStringLiteral("hh:mm:ss")))
                              .arg(std::llround(lostAt_.msecsTo(QDateTime::currentDateTimeUtc()) / 1000.0)));
        else
            messages_.clear(StatusMessages::Capture);
        wasRunning_ = true;
        lostAt_ = QDateTime();
        break;
    case sdr::DeviceStatus::State::Reconnecting:
        if (!lostAt_.isValid())
            lostAt_ = QDateTime::currentDateTimeUtc();
        messages_.set(StatusMessages::Capture,
                      wasRunning_ ? tr("SDR %1 lost at %2 UTC (%3); trying again in %4 s")
                                        .arg(device, lostAt_.toString(QStringLiteral("hh:mm:ss")), problem)
                                        .arg(std::ceil(st.nextAttemptS))
                                  : tr("SDR %1: %2; trying again in %3 s").arg(device, problem).arg(std::ceil(st.nextAttemptS)));
        break;
    case sdr::DeviceStatus::State::Connecting:
    case sdr::DeviceStatus::State::Stopped:
        break;
    }
    shown_ = st.state;
}

}  // namespace nimbra
