// WAVE decoding end to end: synthesized flights decoded by the window, by the decode queue and by
// the thread alone, compared with what the headless decoder prints for the same file; and the
// decoder held for the file decodes while they run.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include <clocale>

#include "app/main_window.h"
#include "app/status_messages.h"
#include "app/setup_dialog.h"
#include "decoder/decoder.h"
#include "sources/decode_arbiter.h"
#include "sources/file_decode_queue.h"
#include "sources/wave_thread.h"
#include "test_support.h"

using namespace nimbra;

namespace {

QString paneText(MainWindow& window)
{
    return window.findChild<QTextBrowser*>("packetTextBrowser")->toPlainText();
}

QString labelText(MainWindow& window, const char* name)
{
    return window.findChild<QLabel*>(QString::fromLatin1(name))->text();
}

// Runs one MyThread on the decoder to its end and returns how often it asked for the pane to be
// updated. The thread must hold the decoder at every such request and give it back at its end.
int decodeWithThread(const QString& path, Decoder& decoder)
{
    DecodeArbiter arbiter;
    MyThread thread(decoder, arbiter);
    thread.SetFile(path);
    int emissions = 0;
    int held = 0;
    QObject::connect(&thread, &MyThread::AppendDecodeText_mainwindow, &thread,
                     [&emissions, &held, &arbiter] {
                         ++emissions;
                         held += arbiter.liveMayFeed() ? 0 : 1;
                     },
                     Qt::DirectConnection);
    thread.start();
    thread.wait();
    if (held != emissions || !arbiter.liveMayFeed())
        qWarning() << "the decode of" << path << "did not hold the decoder while it ran";
    return held == emissions && arbiter.liveMayFeed() ? emissions : -1;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

}  // namespace

class WaveDecodeTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString flight_;  // 24 s of synthesized flight
    QStringList reference_;

    // Ten flights in a row: several seconds of decoding.
    QString longFile()
    {
        const QString path = dir_.filePath("long.wav");
        if (!QFile::exists(path))
            writeFile(path, readAll(flight_).repeated(10));
        return path;
    }

private slots:
    void initTestCase()
    {
        isolateUserFolders();
        clearSettingsStore();
        if (QStringLiteral(NIMBRA_DECODE).isEmpty())
            QSKIP("nimbra-decode is not built");
        flight_ = dir_.filePath("flight.wav");
        QVERIFY(synthesizeFlight(flight_, 24));
        reference_ = referenceLines(flight_, true);
        QVERIFY2(reference_.size() >= 22, qPrintable(reference_.join('\n')));
        QVERIFY(QFileInfo(flight_).size() > 2000000);
    }

    void openWaveFillsThePaneWithTheHeadlessDecodersLines()
    {
        MainWindow window;
        window.setWaveFileChooser([this] { return flight_; });
        window.findChild<QAction*>("actionOpen_WAVE")->trigger();
        QVERIFY(window.decodeRunning());
        QTRY_VERIFY_WITH_TIMEOUT(!window.decodeRunning(), 120000);
        QVERIFY(window.arbiter().liveMayFeed());
        QCoreApplication::processEvents();
        window.AppendDecodeText();
        QCOMPARE(linesWithoutTimeStamps(paneText(window)), reference_);
        // Recording was off: no record file beside the WAVE file.
        QVERIFY(!QFile::exists(flight_ + ".txt"));
    }

    void recordFileBesideTheWaveFileHoldsTheSameLines()
    {
        const QString record = flight_ + ".txt";
        QVERIFY(writeFile(record, "an older record file\r"));
        Decoder decoder;
        decoder.params.recordDecodedText = 1;
        // One pass per whole chunk and one for the short rest.
        QCOMPARE(decodeWithThread(flight_, decoder), int(QFileInfo(flight_).size() / 1000000) + 1);
        const QByteArray text = readAll(record);
        QVERIFY(text.endsWith('\r'));
        QVERIFY(!text.contains('\n'));
        QCOMPARE(text.count('\r'), reference_.size());
        QCOMPARE(linesWithoutTimeStamps(QString::fromLatin1(text)), reference_);
        QFile::remove(record);
    }

    void wholeChunksEndWithOneEmptyPass()
    {
        QByteArray bytes = readAll(flight_).left(2000000);
        const QString exact = dir_.filePath("exact.wav");
        QVERIFY(writeFile(exact, bytes));
        Decoder decoder;
        QCOMPARE(decodeWithThread(exact, decoder), 3);
        const QString odd = dir_.filePath("odd.wav");
        QVERIFY(writeFile(odd, bytes + "x"));
        QCOMPARE(decodeWithThread(odd, decoder), 3);
        const QString empty = dir_.filePath("empty.wav");
        QVERIFY(writeFile(empty, QByteArray()));
        QCOMPARE(decodeWithThread(empty, decoder), 1);
        // A file that cannot be read: one pass, and no record file made for it.
        decoder.params.recordDecodedText = 1;
        QCOMPARE(decodeWithThread(dir_.filePath("missing.wav"), decoder), 1);
        QVERIFY(!QFile::exists(dir_.filePath("missing.wav.txt")));
    }

    void aSecondDecodeWaitsForTheFirst()
    {
        MainWindow window;
        window.startFileDecode(flight_);
        // Held from the request on, before the thread has begun: the next tick leaves it alone.
        QVERIFY(!window.arbiter().liveMayFeed());
        window.startFileDecode(flight_);
        QCOMPARE(window.pendingDecodes(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!window.decodeRunning() && window.pendingDecodes() == 0, 120000);
        QVERIFY(window.arbiter().liveMayFeed());
        // Two decodes feeding one decoder at once would garble the lines; one after the other,
        // the flight comes out twice, whole.
        window.AppendDecodeText();
        const QStringList lines = linesWithoutTimeStamps(paneText(window));
        QCOMPARE(lines.size(), 2 * reference_.size());
        QCOMPARE(lines.mid(0, reference_.size()), reference_);
        QCOMPARE(lines.mid(reference_.size()), reference_);
    }

    void openTestFileDecodesTheSampleRecording()
    {
        const QString sample = MainWindow::testFilePath();
        if (!QFile::exists(sample))
            QSKIP("the sample recording is not built");
        const QStringList expected = referenceLines(sample, true);
        QVERIFY(!expected.isEmpty());
        // The sample is found beside the executable whatever the current folder.
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir_.path());
        MainWindow window;
        if (!qEnvironmentVariableIsEmpty("NIMBRA_SCREENSHOT")) {
            // A picture that does not change from run to run: one line per second from a fixed
            // time.
            auto next = std::make_shared<std::int64_t>(QDateTime(QDate(2026, 6, 6), QTime(6, 0), Qt::UTC).toMSecsSinceEpoch());
            window.decoder().setClock([next] { return (*next += 1000); });
        }
        window.show();
        window.findChild<QAction*>("actionOpen_Test_File")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!window.decodeRunning(), 120000);
        QDir::setCurrent(previous);
        QTest::qWait(600);  // one tick shows the last fix in the labels
        QCOMPARE(linesWithoutTimeStamps(paneText(window)), expected);
        QVERIFY(labelText(window, "label_latitude").contains(QRegularExpression("^Latitude: \\d+\\.\\d+ [NS]$")));
        QVERIFY(labelText(window, "label_range").contains(QRegularExpression("^Range: +\\d+\\.\\d\\d km$")));
        QVERIFY(!labelText(window, "label_range").contains("0.00 km"));
        QVERIFY(labelText(window, "label_goodBad").startsWith("Good:"));

        // The picture in the README, from a process that decoded nothing else (gui_screenshot).
        if (qEnvironmentVariableIsEmpty("NIMBRA_SCREENSHOT"))
            return;
        const QString shot = qEnvironmentVariable("NIMBRA_SCREENSHOT");
        // The test runs without an audio server, so the status bar says that the sound input did
        // not start; a reader's program with a sound card shows no such line.
        window.statusMessages().clear(StatusMessages::Capture);
        QDir().mkpath(QFileInfo(shot).absolutePath());
        QVERIFY(window.grab().save(shot));
    }

    void decodeUnderGermanLocale()
    {
        if (!qEnvironmentVariable("LC_ALL").startsWith("de_DE"))
            QSKIP("run with LC_ALL=de_DE.UTF-8 (ctest does: gui_wave_decode_de)");
        // The application object has taken the locale from the environment.
        QCOMPARE(QString::fromLatin1(std::localeconv()->decimal_point), QString(","));
        MainWindow window;
        window.startFileDecode(flight_);
        QTRY_VERIFY_WITH_TIMEOUT(!window.decodeRunning(), 120000);
        QTest::qWait(600);
        window.AppendDecodeText();
        const QStringList lines = linesWithoutTimeStamps(paneText(window));
        QCOMPARE(lines, reference_);
        for (const QString& line : lines)
            QVERIFY2(!line.contains(QRegularExpression("\\d,\\d")), qPrintable(line));
        QVERIFY(labelText(window, "label_altitude").contains(QRegularExpression("\\d\\.\\d m$")));
        QVERIFY(labelText(window, "label_azimuth").contains(QRegularExpression("\\d\\.\\d\\d ")));
        SetupDialog dialog(window.decoder().params);
        QCOMPARE(dialog.findChild<QLineEdit*>("lineEdit_latitude")->text(), QString("39.75"));
    }

    // Stopping forgets the waiting files, interrupts the running decode at once and gives the
    // decoder back; nothing more comes from the stopped decode.
    void stopForgetsWaitingFilesAndGivesTheDecoderBack()
    {
        Decoder decoder;
        DecodeArbiter arbiter;
        FileDecodeQueue queue(decoder, arbiter);
        int texts = 0;
        connect(&queue, &FileDecodeQueue::AppendDecodeText_mainwindow, this, [&texts] { ++texts; });
        queue.start(longFile());
        queue.start(flight_);
        QTRY_VERIFY_WITH_TIMEOUT(decoder.telemetry.goodPackets.load() > 0, 20000);
        QElapsedTimer clock;
        clock.start();
        queue.stop();
        QVERIFY2(clock.elapsed() < 2000, "the decode was not stopped early");
        QVERIFY(!queue.running());
        QCOMPARE(queue.pending(), 0);
        QVERIFY(arbiter.liveMayFeed());
        QCoreApplication::processEvents();
        const int afterStop = texts;
        QTest::qWait(200);
        QCOMPARE(texts, afterStop);
    }

    void exitStopsARunningDecode()
    {
        QElapsedTimer clock;
        {
            MainWindow window;
            window.startFileDecode(longFile());
            window.startFileDecode(flight_);
            QTRY_VERIFY_WITH_TIMEOUT(window.decoder().telemetry.goodPackets.load() > 0, 20000);
            clock.start();
        }
        QVERIFY2(clock.elapsed() < 2000, "the decode was not stopped early");
    }
};

QTEST_MAIN(WaveDecodeTest)
#include "wave_decode_test.moc"
