// CSoundIn against a real audio server: the chosen device is the one captured, an index outside
// the list falls back to the default input, and the server dying mid-capture ends capture
// cleanly, after which capture starts again once a server runs.
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

#include "demod/decoder_parameters.h"
#include "live_support.h"
#include "sources/capture_control.h"
#include "sources/sound_in.h"
#include "test_support.h"

using nimbra::CSoundIn;

namespace {

QStringList traceLines;

void collectTrace(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtDebugMsg)
        traceLines << message;
    fprintf(stderr, "%s\n", qPrintable(message));
}

// Largest absolute first-channel value in the blocks the queue hands out within ms.
double loudestFor(CSoundIn& in, int ms)
{
    double loudest = 0.0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        while (const nimbra::SoundBlock* block = in.GetInQueue())
            for (const auto& frame : block->frame)
                loudest = std::max(loudest, std::abs(frame[0]));
        QTest::qWait(50);
    }
    return loudest;
}

}  // namespace

class SoundInTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString tone_;

private slots:
    void initTestCase()
    {
        if (!liveServerConfigured())
            QSKIP("needs the test audio server (ctest fixture gui_pulse_start)");
        isolateUserFolders();
        qInstallMessageHandler(collectTrace);
        tone_ = dir_.filePath("flight.wav");
        QVERIFY(synthesizeFlight(tone_, 6));
        QVERIFY(inputIndex("TestSinkInput") >= 0);
        QVERIFY(inputIndex("OtherSinkInput") >= 0);
    }

    void cleanup() { ensureServerRuns(); }

    void theChosenDeviceIsTheOneCaptured()
    {
        // The default input is TestSinkInput; the other device must be the one heard when chosen.
        CSoundIn in;
        QVERIFY(in.StartCapture(inputIndex("OtherSinkInput")));
        QCOMPARE(in.device().description(), QString("OtherSinkInput"));
        QVERIFY(in.capturing());
        // First audio: the server can take up to 2 s to deliver it; priming then holds about
        // 1.4 s more.
        QTRY_VERIFY_WITH_TIMEOUT(in.bytesCaptured() > 0, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(in.GetInQueue() != nullptr || !in.queue().priming(), 10000);
        QProcess player;
        startPlaying(player, tone_, "othersink");
        QVERIFY(loudestFor(in, 2500) > 3000.0);
        player.kill();
        player.waitForFinished();

        // The same signal into the default device's sink is not heard on the chosen device.
        in.StopCapture();
        QVERIFY(!in.capturing());
        QVERIFY(in.StartCapture(inputIndex("OtherSinkInput")));
        loudestFor(in, 500);
        startPlaying(player, tone_, "testsink");
        QCOMPARE(loudestFor(in, 2500), 0.0);
        player.kill();
        player.waitForFinished();
        in.StopCapture();
    }

    void anIndexOutsideTheListFallsBackToTheDefaultInput()
    {
        const QList<QAudioDevice> devices = QMediaDevices::audioInputs();
        for (int index : {-1, int(devices.size()), 1000}) {
            traceLines.clear();
            CSoundIn in;
            QVERIFY(in.StartCapture(index));
            QCOMPARE(in.device().id(), QMediaDevices::defaultAudioInput().id());
            QCOMPARE(in.device().description(), QString("TestSinkInput"));
            QCOMPARE(traceLines.filter("is not in the list").size(), 1);
            QVERIFY(traceLines.contains("Soundcard start ++"));
            QTRY_VERIFY_WITH_TIMEOUT(in.bytesCaptured() > 0, 10000);
        }
    }

    void serverDeathEndsCaptureAndARestartWorks()
    {
        CSoundIn in;
        QVERIFY(in.StartCapture(inputIndex("TestSinkInput")));
        QTRY_VERIFY_WITH_TIMEOUT(in.bytesCaptured() > 0, 10000);
        traceLines.clear();
        QVERIFY(controlServer("stop"));
        // The capture thread notices, writes its trace line and ends on its own.
        QTRY_VERIFY_WITH_TIMEOUT(!in.capturing(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(in.isFinished(), 10000);
        QVERIFY(traceLines.filter("ERROR:").size() == 1);
        QVERIFY(in.GetInQueue() == nullptr);
        in.StopCapture();  // after the thread ended by itself: only the release is left
        QVERIFY(in.GetInQueue() == nullptr);

        QVERIFY(controlServer("start"));
        const long long before = in.bytesCaptured();
        // As after "Config" and OK: stop, then start again. Qt's audio backend reconnects to
        // the server a few seconds after losing it; until then a start fails cleanly.
        QElapsedTimer clock;
        clock.start();
        bool started = false;
        while (!started && clock.elapsed() < 20000) {
            in.StopCapture();
            started = inputIndex("TestSinkInput") >= 0 && in.StartCapture(inputIndex("TestSinkInput"));
            if (!started)
                QTest::qWait(250);
        }
        QVERIFY(started);
        QCOMPARE(in.device().description(), QString("TestSinkInput"));
        QTRY_VERIFY_WITH_TIMEOUT(in.bytesCaptured() > before, 10000);
        in.StopCapture();
    }

    // The control starts the device the parameters name, at each start afresh, and says which.
    void captureControlStartsTheConfiguredDevice()
    {
        nimbra::DecoderParameters params;
        params.soundInputDeviceIndex = inputIndex("OtherSinkInput");
        nimbra::CaptureControl control(params);
        QSignalSpy started(&control, &nimbra::CaptureControl::captureStarted);
        QSignalSpy failed(&control, &nimbra::CaptureControl::captureFailed);
        QVERIFY(control.start());
        QCOMPARE(control.soundIn().device().description(), QString("OtherSinkInput"));
        params.soundInputDeviceIndex = inputIndex("TestSinkInput");
        QVERIFY(control.restart());
        QCOMPARE(control.soundIn().device().description(), QString("TestSinkInput"));
        QCOMPARE(started.size(), 2);
        QCOMPARE(started[0][0].toString(), QString("OtherSinkInput"));
        QCOMPARE(started[1][0].toString(), QString("TestSinkInput"));
        QCOMPARE(failed.size(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(control.soundIn().bytesCaptured() > 0, 10000);
        control.stop();
        QVERIFY(!control.soundIn().capturing());
    }

    void sleepIntervalIsHalfAFragment()
    {
        QCOMPARE(CSoundIn::sleepIntervalMs(CSoundIn::kBufferBytes), 25);
        QCOMPARE(CSoundIn::sleepIntervalMs(383), 0);  // too short to sleep: poll
        QCOMPARE(CSoundIn::sleepIntervalMs(384), 1);
    }
};

QTEST_MAIN(SoundInTest)
#include "sound_in_test.moc"
