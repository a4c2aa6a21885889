// The desktop program as an unattended station: live capture comes back by itself, without any
// user action, when the audio server is killed and a new one started, when the input device goes
// and comes back, when the program starts before the server, and when the input stops delivering
// samples. After each recovery a whole flight played in decodes completely; the record file stays
// the same file and notes the gap with '#' lines; nothing decoded is a wrong fix. Closing the
// window during a wait between tries is prompt.
//
// Each recovery prints the time from the server's (or the device's) return to capture running
// again and to the first decoded line of a flight started at that moment (RECOVERY lines); the
// figures are documented in docs/unattended-station.md, not asserted.
#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include <memory>

#include "app/main_window.h"
#include "decoder/decoder.h"
#include "live_support.h"
#include "sources/audio_backend.h"
#include "sources/capture_control.h"
#include "sources/sound_in.h"
#include "test_support.h"

using namespace nimbra;

namespace {

constexpr int kFlightSeconds = 6;

bool pactl(const QStringList& arguments)
{
    return QProcess::execute("pactl", arguments) == 0;
}

}  // namespace

class CaptureRecoveryTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString flight_;
    QStringList expected_;
    QStringList recordFiles_;

    // A window capturing from TestSinkInput with Record on and short waits between tries.
    std::unique_ptr<MainWindow> makeWindow()
    {
        auto window = std::make_unique<MainWindow>();
        window->findChild<QPushButton*>("pushButton_recordDecodedText")->setChecked(true);
        return window;
    }

    static CaptureControl* control(MainWindow& window) { return window.findChild<CaptureControl*>(); }
    static QTextBrowser* pane(MainWindow& window) { return window.findChild<QTextBrowser*>("packetTextBrowser"); }

    // Plays the flight once capture runs again, from `returned` (the moment the server or device
    // came back) on; checks that every line of it arrives and prints the recovery times.
    void playAfterRecovery(MainWindow& window, const QElapsedTimer& returned, const char* what)
    {
        QTRY_VERIFY_WITH_TIMEOUT(control(window)->state() == CaptureControl::State::Running, 30000);
        const qint64 runningMs = returned.elapsed();
        // The queue primes once per program run: the flight must not start before it has.
        QTRY_VERIFY_WITH_TIMEOUT(!control(window)->soundIn().queue().priming(), 15000);
        pane(window)->clear();
        const qint64 playMs = returned.elapsed();
        QProcess player;
        startPlaying(player, flight_, "testsink");
        qint64 firstLineMs = -1;
        QElapsedTimer limit;
        limit.start();
        while (player.state() != QProcess::NotRunning && limit.elapsed() < 60000) {
            if (firstLineMs < 0 && !pane(window)->toPlainText().isEmpty())
                firstLineMs = returned.elapsed();
            QTest::qWait(20);
        }
        QCOMPARE(player.exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(linesWithoutTimeStamps(pane(window)->toPlainText()).size(), expected_.size(), 10000);
        QCOMPARE(linesWithoutTimeStamps(pane(window)->toPlainText()), expected_);
        if (firstLineMs < 0)
            firstLineMs = returned.elapsed();
        qInfo("RECOVERY %s: capture running %.1f s after the return; flight started at %.1f s, first line at "
              "%.1f s (%.1f s into the flight)",
              what, runningMs / 1000.0, playMs / 1000.0, firstLineMs / 1000.0, (firstLineMs - playMs) / 1000.0);
    }

    // The record file holds decoded lines of the flight and '#' notes only, the notes given in
    // order, and no wrong fix.
    void checkRecordFile(MainWindow& window, const QStringList& notesInOrder)
    {
        window.findChild<QPushButton*>("pushButton_recordDecodedText")->setChecked(true);
        // A tick opens the record file and writes the record text (later on a loaded machine).
        QTRY_VERIFY_WITH_TIMEOUT(!window.recordFileName().isEmpty() && QFileInfo(window.recordFileName()).size() > 0, 10000);
        QTest::qWait(600);
        QFile file(window.recordFileName());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split('\r', Qt::SkipEmptyParts);
        int next = 0;
        for (const QString& line : lines) {
            if (line.startsWith("# ")) {
                if (next < notesInOrder.size() && line.contains(notesInOrder[next]))
                    ++next;
                continue;
            }
            QVERIFY2(expected_.contains(line.mid(20)), qPrintable("not a line of the flight: " + line));
        }
        QCOMPARE(next, notesInOrder.size());
    }

private slots:
    void initTestCase()
    {
        if (!liveDecodingUnavailable().isEmpty())
            QSKIP(qPrintable(liveDecodingUnavailable()));
        isolateUserFolders();
        clearSettingsStore();
        QSettings("org.nimbra-project", "Nimbra").setValue("soundInputRetrySeconds", "0.5 1 2");
        flight_ = dir_.filePath("flight.wav");
        QVERIFY(synthesizeFlight(flight_, kFlightSeconds));
        expected_ = referenceLines(flight_, false);
        QVERIFY(expected_.size() >= kFlightSeconds - 1);
    }

    void cleanup()
    {
        ensureServerRuns();
        if (inputIndex("TestSinkInput") < 0)
            loadTestInput();
        pactl({"suspend-source", "testsink_in", "0"});
    }

    void cleanupTestCase()
    {
        for (const QString& name : recordFiles_)
            QFile::remove(name);
    }

    // First of all, while Qt's audio in this process is still untouched: the program starts
    // before the audio server and begins capturing as soon as one answers.
    void startsWhenTheServerAppears()
    {
        QVERIFY(controlServer("stop"));
        auto window = makeWindow();
        if (AudioBackend::instance().ready())
            QSKIP("Qt's audio was opened before this test (run the test functions in their order)");
        auto* bar = window->statusBar();
        QVERIFY(bar->currentMessage().startsWith("No audio server"));
        QTest::qWait(1500);
        QVERIFY(control(*window)->state() == CaptureControl::State::Recovering);

        QVERIFY(controlServer("start"));
        QElapsedTimer returned;
        returned.start();
        playAfterRecovery(*window, returned, "server started after the program");
        QCOMPARE(control(*window)->device().description, QString("TestSinkInput"));
        QCOMPARE(bar->currentMessage(), QString());
        recordFiles_ << window->recordFileName();
    }

    // The server killed mid-flight, away for longer than Qt's own reconnection waits, then a new
    // one: capture resumes on the same device, the record file is the same and notes the gap.
    void resumesAfterTheServerIsKilled()
    {
        QVERIFY(waitForAudioBackend());
        auto window = makeWindow();
        QTRY_VERIFY_WITH_TIMEOUT(control(*window)->state() == CaptureControl::State::Running, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!control(*window)->soundIn().queue().priming(), 15000);
        QSignalSpy lost(control(*window), &CaptureControl::captureLost);
        QSignalSpy resumed(control(*window), &CaptureControl::captureResumed);
        QProcess player;
        startPlaying(player, flight_, "testsink");
        QTest::qWait(3000);
        const QString recordFile = window->recordFileName();
        QVERIFY(!recordFile.isEmpty());
        QVERIFY(controlServer("stop"));
        player.waitForFinished(5000);
        QTRY_VERIFY_WITH_TIMEOUT(lost.size() == 1, 10000);
        QVERIFY(window->statusBar()->currentMessage().contains("lost"));
        // Lines decoded before the loss are lines of the flight, in order, nothing after them.
        const QStringList before = linesWithoutTimeStamps(pane(*window)->toPlainText());
        QVERIFY(before.size() >= 1);
        QCOMPARE(before, expected_.mid(0, before.size()));
        QTest::qWait(4000);

        QVERIFY(controlServer("start"));
        QElapsedTimer returned;
        returned.start();
        playAfterRecovery(*window, returned, "server killed and a new one started");
        QCOMPARE(resumed.size(), 1);
        QCOMPARE(resumed[0][0].toString(), QString("TestSinkInput"));
        QVERIFY(window->statusBar()->currentMessage().contains("resumed"));
        QCOMPARE(window->recordFileName(), recordFile);
        checkRecordFile(*window, {"lost", "resumed"});
        recordFiles_ << recordFile;
    }

    // The device goes (its module unloaded) and comes back: capture waits for it, never moves to
    // the other input, and resumes on it.
    void resumesWhenTheDeviceReturns()
    {
        QVERIFY(waitForAudioBackend());
        auto window = makeWindow();
        QTRY_VERIFY_WITH_TIMEOUT(control(*window)->state() == CaptureControl::State::Running, 10000);
        QSignalSpy lost(control(*window), &CaptureControl::captureLost);
        QVERIFY(unloadTestInput());
        QTRY_VERIFY_WITH_TIMEOUT(lost.size() == 1, 10000);
        QTest::qWait(2500);
        QVERIFY(control(*window)->state() == CaptureControl::State::Recovering);
        QCOMPARE(control(*window)->device().description, QString("TestSinkInput"));
        QVERIFY(inputIndex("OtherSinkInput") >= 0);
        QVERIFY(window->statusBar()->currentMessage().contains("is not there"));

        QVERIFY(loadTestInput());
        QElapsedTimer returned;
        returned.start();
        playAfterRecovery(*window, returned, "device unloaded and loaded again");
        QCOMPARE(control(*window)->device().description, QString("TestSinkInput"));
        checkRecordFile(*window, {"lost", "resumed"});
        recordFiles_ << window->recordFileName();
    }

    // An input that stops delivering samples (its source suspended) counts as lost after 5 s.
    void watchdogRecoversASilentInput()
    {
        QVERIFY(waitForAudioBackend());
        auto window = makeWindow();
        QTRY_VERIFY_WITH_TIMEOUT(control(*window)->state() == CaptureControl::State::Running, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(control(*window)->soundIn().bytesCaptured() > 0, 10000);
        QSignalSpy lost(control(*window), &CaptureControl::captureLost);
        QVERIFY(pactl({"suspend-source", "testsink_in", "1"}));
        QTRY_VERIFY_WITH_TIMEOUT(lost.size() == 1, 15000);
        QVERIFY(lost[0][0].toString().contains("no samples for 5 s"));
        QVERIFY(pactl({"suspend-source", "testsink_in", "0"}));
        QElapsedTimer returned;
        returned.start();
        playAfterRecovery(*window, returned, "input silent for 5 s, then delivering again");
        checkRecordFile(*window, {"lost: no samples", "resumed"});
        recordFiles_ << window->recordFileName();
    }

    // Closing the window while capture waits for its next try ends the wait at once.
    void closingDuringARetryWaitIsPrompt()
    {
        QVERIFY(waitForAudioBackend());
        QSettings("org.nimbra-project", "Nimbra").setValue("soundInputRetrySeconds", "30");
        auto window = makeWindow();
        QSettings("org.nimbra-project", "Nimbra").setValue("soundInputRetrySeconds", "0.5 1 2");
        QTRY_VERIFY_WITH_TIMEOUT(control(*window)->state() == CaptureControl::State::Running, 10000);
        QVERIFY(controlServer("stop"));
        QTRY_VERIFY_WITH_TIMEOUT(control(*window)->state() == CaptureControl::State::Recovering, 10000);
        QTest::qWait(1000);
        recordFiles_ << window->recordFileName();
        QElapsedTimer closing;
        closing.start();
        window.reset();
        QVERIFY2(closing.elapsed() < 1000, qPrintable(QString::number(closing.elapsed()) + " ms to close"));
    }
};

QTEST_MAIN(CaptureRecoveryTest)
#include "capture_recovery_test.moc"
