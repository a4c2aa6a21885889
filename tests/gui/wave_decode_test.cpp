// WAVE decoding end to end: synthesized flights decoded by the window and by the thread alone,
// compared with what the headless decoder prints for the same file.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include <clocale>

#include "app/main_window.h"
#include "app/setup_dialog.h"
#include "decoder/decoder.h"
#include "sources/file_decode_running.h"
#include "sources/wave_thread.h"
#include "test_support.h"

namespace {

nimbra::Decoder& decoder()
{
    return nimbra::globalDecoder();
}

QString paneText(MainWindow& window)
{
    return window.findChild<QTextBrowser*>("packetTextBrowser")->toPlainText();
}

QString labelText(MainWindow& window, const char* name)
{
    return window.findChild<QLabel*>(QString::fromLatin1(name))->text();
}

// Runs one MyThread to its end and returns how often it asked for the pane to be updated.
int decodeWithThread(const QString& path)
{
    MyThread thread;
    thread.SetFile(path);
    int emissions = 0;
    QObject::connect(&thread, &MyThread::AppendDecodeText_mainwindow, &thread, [&emissions] { ++emissions; },
                     Qt::DirectConnection);
    thread.start();
    thread.wait();
    return emissions;
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
    QString flight_;  // 20 s of synthesized flight
    QStringList reference_;

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

    void init()
    {
        decoder().decodedDisplayText.takeAll();
        decoder().decodedRecordText.takeAll();
        decoder().params.recordDecodedText = 0;
    }

    void openWaveFillsThePaneWithTheHeadlessDecodersLines()
    {
        MainWindow window;
        window.setWaveFileChooser([this] { return flight_; });
        window.findChild<QAction*>("actionOpen_WAVE")->trigger();
        QVERIFY(window.decodeRunning());
        QTRY_VERIFY_WITH_TIMEOUT(!window.decodeRunning(), 120000);
        QCOMPARE(nimbra::fileDecodeRunning.load(), 0);
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
        decoder().params.recordDecodedText = 1;
        // One pass per whole chunk and one for the short rest.
        QCOMPARE(decodeWithThread(flight_), int(QFileInfo(flight_).size() / 1000000) + 1);
        decoder().params.recordDecodedText = 0;
        const QByteArray text = readAll(record);
        QVERIFY(text.endsWith('\r'));
        QVERIFY(!text.contains('\n'));
        QCOMPARE(text.count('\r'), reference_.size());
        QCOMPARE(linesWithoutTimeStamps(QString::fromLatin1(text)), reference_);
        QFile::remove(record);
        decoder().decodedDisplayText.takeAll();
    }

    void wholeChunksEndWithOneEmptyPass()
    {
        QByteArray bytes = readAll(flight_).left(2000000);
        const QString exact = dir_.filePath("exact.wav");
        QVERIFY(writeFile(exact, bytes));
        QCOMPARE(decodeWithThread(exact), 3);
        const QString odd = dir_.filePath("odd.wav");
        QVERIFY(writeFile(odd, bytes + "x"));
        QCOMPARE(decodeWithThread(odd), 3);
        const QString empty = dir_.filePath("empty.wav");
        QVERIFY(writeFile(empty, QByteArray()));
        QCOMPARE(decodeWithThread(empty), 1);
        QCOMPARE(nimbra::fileDecodeRunning.load(), 0);
        // A file that cannot be read: one pass, and no record file made for it.
        decoder().params.recordDecodedText = 1;
        QCOMPARE(decodeWithThread(dir_.filePath("missing.wav")), 1);
        QVERIFY(!QFile::exists(dir_.filePath("missing.wav.txt")));
        decoder().params.recordDecodedText = 0;
        decoder().decodedDisplayText.takeAll();
    }

    void aSecondDecodeWaitsForTheFirst()
    {
        MainWindow window;
        window.startFileDecode(flight_);
        window.startFileDecode(flight_);
        QCOMPARE(window.pendingDecodes(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!window.decodeRunning() && window.pendingDecodes() == 0, 120000);
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
        if (!qEnvironmentVariableIsEmpty("NIMBRA_SCREENSHOT")) {
            // A picture that does not change from run to run: one line per second from a fixed
            // time.
            auto next = std::make_shared<std::int64_t>(QDateTime(QDate(2026, 6, 6), QTime(6, 0), Qt::UTC).toMSecsSinceEpoch());
            decoder().setClock([next] { return (*next += 1000); });
        }
        MainWindow window;
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
        SetupDialog dialog;
        QCOMPARE(dialog.findChild<QLineEdit*>("lineEdit_latitude")->text(), QString("39.75"));
    }

    // Last: the decode stops at a random point and leaves the decoder in the middle of a block,
    // so that a following decode could start with a left-over line.
    void exitStopsARunningDecode()
    {
        // Ten flights in a row: several seconds of decoding.
        const QString longFile = dir_.filePath("long.wav");
        QVERIFY(writeFile(longFile, readAll(flight_).repeated(10)));
        QElapsedTimer clock;
        {
            MainWindow window;
            window.startFileDecode(longFile);
            window.startFileDecode(flight_);
            QTRY_VERIFY(nimbra::fileDecodeRunning.load() == 1);
            clock.start();
        }
        QCOMPARE(nimbra::fileDecodeRunning.load(), 0);
        QVERIFY2(clock.elapsed() < 2000, "the decode was not stopped early");
        decoder().decodedDisplayText.takeAll();
    }
};

QTEST_MAIN(WaveDecodeTest)
#include "wave_decode_test.moc"
