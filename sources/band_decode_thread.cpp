#include "sources/band_decode_thread.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <cmath>

#include "decoder/decoder.h"
#include "iq/iq_source.h"
#include "sources/decode_arbiter.h"
#include "telemetry/time_stamp.h"

namespace nimbra {

namespace {

constexpr int kPopTimeoutMs = 200;

// What the labels show of a sonde: its decoder's values, copied whole field by field.
void copyLabelValues(const TelemetryState& from, TelemetryState& to)
{
    to.transmitterId = from.transmitterId.load();
    to.timeCounter = from.timeCounter.load();
    to.latitude = from.latitude.load();
    to.longitude = from.longitude.load();
    to.altitude = from.altitude.load();
    to.latitudeAbs = from.latitudeAbs.load();
    to.latitudeHemisphere = from.latitudeHemisphere.load();
    to.longitudeAbs = from.longitudeAbs.load();
    to.longitudeHemisphere = from.longitudeHemisphere.load();
    to.azimuth = from.azimuth.load();
    to.elevation = from.elevation.load();
    to.range = from.range.load();
    to.ascent = from.ascent.load();
    to.velocity = from.velocity.load();
    to.direction = from.direction.load();
    to.goodPackets = from.goodPackets.load();
    to.badPackets = from.badPackets.load();
}

QString timeStampNow()
{
    char stamp[kTimeStampSize];
    formatTimeStamp(QDateTime::currentMSecsSinceEpoch(), stamp);
    return QString::fromLatin1(stamp);
}

}  // namespace

BandDecodeThread::BandDecodeThread(Decoder& window, DecodeArbiter& arbiter, const Recording& recording,
                                   const flight::TrackerSettings& tracking, QObject* parent)
    : QThread(parent), window_(window), arbiter_(arbiter), recording_(recording), tracking_(tracking)
{
}

BandDecodeThread::BandDecodeThread(Decoder& window, DecodeArbiter& arbiter, const Radio& radio,
                                   const flight::TrackerSettings& tracking, QObject* parent)
    : QThread(parent), window_(window), arbiter_(arbiter), radio_(radio), tracking_(tracking)
{
}

BandDecodeThread::~BandDecodeThread()
{
    requestInterruption();
    wait();
}

QString BandDecodeThread::describe() const
{
    if (recording_)
        return QFileInfo(recording_->path).fileName();
    const sdr::DeviceAddress& s = radio_->address;
    return s.kind == sdr::DeviceAddress::Kind::RtlTcp ? QStringLiteral("rtl_tcp %1:%2").arg(QString::fromStdString(s.host)).arg(s.port)
                                                   : QStringLiteral("SoapySDR %1").arg(QString::fromStdString(s.soapyArgs));
}

BandSnapshot BandDecodeThread::snapshot() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return snapshot_;
}

void BandDecodeThread::tryAt(double offsetHz)
{
    std::lock_guard<std::mutex> lock(mutex_);
    tryAt_.push_back(offsetHz);
}

void BandDecodeThread::run()
{
    if (recording_)
        runRecording();
    else
        runRadio();
}

void BandDecodeThread::configure(Decoder& d) const
{
    // The window's parameters as they are when the sonde is taken up; its lines reach the record
    // through the window's decoder, so its own record text stays empty.
    d.params = window_.params;
    d.params.recordDecodedText = 0;
}

void BandDecodeThread::setUp(BandDecoding& band)
{
    band.setPacketSink([this](int channel, const PacketEvent& e) {
        if (!blockSink_)
            return;
        PacketEvent copy = e;
        copy.bytes = nullptr;  // they live only for this call
        blockSink_(channel, copy);
    });
    followStation(band);
}

void BandDecodeThread::followStation(BandDecoding& band)
{
    const bool live = window_.liveStation.on.load() != 0;
    const float lat = live ? window_.liveStation.latitude.load() : window_.params.userLat.load();
    const float lon = live ? window_.liveStation.longitude.load() : window_.params.userLon.load();
    const float alt = live ? window_.liveStation.altitude.load() : window_.params.userAlt.load();
    if (stationSet_ && lat == stationLat_ && lon == stationLon_ && alt == stationAlt_)
        return;
    stationSet_ = true;
    stationLat_ = lat;
    stationLon_ = lon;
    stationAlt_ = alt;
    band.setStation(lat, lon, alt);
}

void BandDecodeThread::deliverLines(std::vector<std::string>&& lines)
{
    const bool mayFeed = recording_ || arbiter_.liveMayFeed();
    if (!mayFeed) {
        // A file decode holds the decoder: the live lines wait their turn.
        for (std::string& l : lines)
            if (waiting_.size() < kMaxWaitingLines)
                waiting_.push_back(std::move(l));
        return;
    }
    std::string text;
    for (const std::string& l : waiting_)
        text += l + '\r';
    waiting_.clear();
    for (const std::string& l : lines)
        text += l + '\r';
    if (text.empty())
        return;
    window_.decodedDisplayText.append(text);
    if (window_.params.recordDecodedText)
        window_.decodedRecordText.append(text);
}

void BandDecodeThread::noteInRecord(const QString& text)
{
    qInfo().noquote() << text;
    if (!window_.params.recordDecodedText || !arbiter_.liveMayFeed())
        return;
    window_.decodedRecordText.append((QStringLiteral("# ") + timeStampNow() + QLatin1Char(' ') + text + QLatin1Char('\r')).toStdString());
}

void BandDecodeThread::afterPiece(BandDecoding& band, bool force)
{
    {
        std::vector<double> asked;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            asked.swap(tryAt_);
        }
        for (double hz : asked)
            band.tryAt(hz);
    }
    followStation(band);
    SondeDecoders::Released r = band.release();
    deliverLines(std::move(r.lines));
    for (const FlightFix& f : r.fixes) {
        newestChannel_ = f.channel;
        if (fixSink_)
            fixSink_(f);
    }
    if (recording_ || arbiter_.liveMayFeed()) {
        const int followed = followed_.load();
        if (const Decoder* d = band.decoderOf(followed >= 0 ? followed : newestChannel_))
            copyLabelValues(d->telemetry, window_.telemetry);
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (force || now - lastSnapshotMs_ >= kSnapshotMs) {
        lastSnapshotMs_ = now;
        publish(band, nullptr);
    }
}

void BandDecodeThread::publish(BandDecoding& band, const sdr::DeviceStatus* device)
{
    BandSnapshot s;
    s.valid = true;
    s.rate = band.rate();
    s.tunedHz = band.tunedHz();
    s.seconds = band.seconds();
    s.periods = band.periods();
    s.sondes = band.summaries();
    iq::reduceView(band.spectrum(), kSpectrumPoints, s.powerDb, s.floorDb);
    std::lock_guard<std::mutex> lock(mutex_);
    s.spectrumSerial = snapshot_.spectrumSerial + (band.spectrum().endSample != lastSpectrumEnd_ ? 1 : 0);
    lastSpectrumEnd_ = band.spectrum().endSample;
    s.radio = radio_.has_value();
    s.device = device ? *device : snapshot_.device;
    snapshot_ = std::move(s);
}

void BandDecodeThread::runRecording()
{
    const Recording& rec = *recording_;
    const QFileInfo info(rec.path);
    arbiter_.beginFileDecode();
    emit decodeBegan(window_.samplesConsumed());
    std::string error;
    const auto source = iq::openIqInput(QFile::encodeName(rec.path).toStdString(), rec.format,
                                        rec.format == iq::IqFormat::Wave ? 0.0 : rec.rate, error);
    if (!source) {
        emit decodeFailed(tr("Cannot decode %1: %2").arg(info.fileName(), QString::fromStdString(error)));
        emit AppendDecodeText_mainwindow();
        arbiter_.endFileDecode();
        return;
    }
    qDebug() << "IQ decode of" << rec.path << QString::fromStdString(source->describe());
    BandDecoding::Settings settings;
    settings.rate = source->sampleRate();
    settings.tunedHz = rec.tunedHz;
    settings.tracking = tracking_;
    settings.configure = [this](Decoder& d) { configure(d); };
    BandDecoding band(settings);
    setUp(band);

    QFile record(info.absoluteFilePath() + QStringLiteral(".txt"));
    const std::int64_t total = source->totalFrames();
    std::int64_t read = 0;
    std::vector<std::complex<float>> samples;
    // As a WAVE's: while recording is on, the record file is made anew on the first chunk.
    auto writeRecord = [&] {
        const std::string text = window_.decodedRecordText.takeAll();
        if (!window_.params.recordDecodedText)
            return;
        if (!record.isOpen()) {
            QFile::remove(record.fileName());
            if (!record.open(QIODevice::WriteOnly | QIODevice::Truncate))
                qDebug() << "Cannot open record file" << record.fileName() << record.errorString();
        }
        if (record.isOpen()) {
            record.write(text.data(), static_cast<qint64>(text.size()));
            record.flush();
        }
    };
    while (!isInterruptionRequested()) {
        samples.clear();
        const long n = source->read(samples, kChunkSamples);
        if (n <= 0) {
            if (n < 0)
                emit decodeFailed(tr("Cannot decode %1 to its end: %2").arg(info.fileName(), QString::fromStdString(source->error())));
            break;
        }
        band.process(samples.data(), samples.size());
        read += n;
        if (total > 0)
            progress_ = static_cast<int>(std::min<std::int64_t>(1000, read * 1000 / total));
        afterPiece(band, false);
        writeRecord();
        emit AppendDecodeText_mainwindow();
    }
    band.finish();
    afterPiece(band, true);
    writeRecord();
    progress_ = 1000;
    emit AppendDecodeText_mainwindow();
    arbiter_.endFileDecode();
}

void BandDecodeThread::runRadio()
{
    const Radio& radio = *radio_;
    sdr::DeviceRunner runner(sdr::makeDevice(radio.address), radio.settings);
    runner.setNoteSink([](const std::string& text) { qInfo().noquote() << QString::fromStdString(text); });
    runner.start();
    BandDecoding::Settings settings;
    settings.rate = radio.settings.rate;
    settings.tunedHz = radio.settings.frequencyHz;
    settings.tracking = tracking_;
    settings.configure = [this](Decoder& d) { configure(d); };
    BandDecoding band(settings);
    setUp(band);
    sdr::SampleChunk chunk;
    qint64 lastChunkMs = 0;
    int reconnects = 0;
    while (!isInterruptionRequested()) {
        if (!runner.pop(chunk, kPopTimeoutMs)) {
            const sdr::DeviceStatus st = runner.status();
            publish(band, &st);
            continue;
        }
        const sdr::DeviceStatus st = runner.status();
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (chunk.tunedHz != band.tunedHz()) {
            band.retuned(chunk.tunedHz);
        } else if (chunk.gapBefore) {
            // What came before the gap goes out first; the note stands between it and what follows.
            band.breakInput();
            afterPiece(band, false);
            const QString device = QString::fromStdString(st.device);
            if (st.reconnects != reconnects)
                noteInRecord(tr("SDR %1 resumed after %2 s").arg(device).arg((now - lastChunkMs + 500) / 1000));
            else
                noteInRecord(chunk.lostBefore > 0 ? tr("SDR %1: %2 samples lost").arg(device).arg(chunk.lostBefore)
                                                  : tr("SDR %1: samples lost").arg(device));
        }
        reconnects = st.reconnects;
        lastChunkMs = now;
        band.process(chunk.samples.data(), chunk.samples.size());
        afterPiece(band, false);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            snapshot_.device = st;
        }
    }
    runner.stop();
}

}  // namespace nimbra
