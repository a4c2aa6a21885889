// The main window: one tick of the periodic loop, the text pane, the record file, the menus.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include "app/about_dialog.h"
#include "app/label_texts.h"
#include "app/live_feed.h"
#include "app/live_record_file.h"
#include "app/main_window.h"
#include "app/setup_dialog.h"
#include "decoder/decoder.h"
#include "sources/file_decode_running.h"
#include "sources/sample_queue.h"
#include "test_support.h"

namespace {

nimbra::Decoder& decoder()
{
    return nimbra::globalDecoder();
}

template <typename T>
T* child(QObject& window, const char* name)
{
    T* object = window.findChild<T*>(QString::fromLatin1(name));
    if (!object)
        qFatal("no child %s", name);
    return object;
}

QString labelText(QObject& window, const char* name)
{
    return child<QLabel>(window, name)->text();
}

// One tick of the periodic loop, through the window's timerEvent slot.
void tick(QObject& window)
{
    QTimerEvent event(0);
    QMetaObject::invokeMethod(&window, "timerEvent", Qt::DirectConnection, Q_ARG(QTimerEvent*, &event));
}

const QString kDegree = QString(QChar(0x00B0));

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateUserFolders();
        clearSettingsStore();
    }

    void init()
    {
        decoder().decodedDisplayText.takeAll();
        decoder().decodedRecordText.takeAll();
    }

    void labelsBeforeTheFirstFix()
    {
        const nimbra::TelemetryState t;
        const LabelTexts l = makeLabelTexts(t);
        // The hemisphere letter is still 0, which ends the text after the blank.
        QCOMPARE(l.latitude, QString("Latitude: 0 "));
        QCOMPARE(l.longitude, QString("Longitude: 0 "));
        QCOMPARE(l.id, QString("Nimbra ID: 0000"));
        QCOMPARE(l.altitude, QString("Altitude:     0.0 m"));
        QCOMPARE(l.goodBad, QString("Good:0 Bad:0 0% "));
    }

    void labelsOfAFix()
    {
        nimbra::TelemetryState t;
        t.transmitterId = 418;
        t.latitudeAbs = 39.5f;
        t.latitudeHemisphere = 'N';
        t.longitudeAbs = 76.875f;
        t.longitudeHemisphere = 'W';
        t.altitude = 12345.67f;
        t.azimuth = 123.45f;
        t.elevation = -1.5f;
        t.range = 12.5f;
        t.ascent = 5.25f;
        t.velocity = 10.0f;
        t.direction = 359.99f;
        t.goodPackets = 3;
        t.badPackets = 1;
        const LabelTexts l = makeLabelTexts(t);
        QCOMPARE(l.id, QString("Nimbra ID: 01A2"));
        QCOMPARE(l.latitude, QString("Latitude: 39.5 N"));
        QCOMPARE(l.longitude, QString("Longitude: 76.875 W"));
        QCOMPARE(l.altitude, QString("Altitude: 12345.7 m"));
        QCOMPARE(l.azimuth, QString("Azimuth:  123.45 ") + kDegree);
        QCOMPARE(l.elevation, QString("Elevation:   -1.50 ") + kDegree);
        QCOMPARE(l.range, QString("Range:   12.50 km"));
        QCOMPARE(l.ascent, QString("Ascent:    5.25 m/s"));
        QCOMPARE(l.velocity, QString("Velocity:   10.00 m/s"));
        QCOMPARE(l.direction, QString("Direction:  359.99 ") + kDegree);
        QCOMPARE(l.goodBad, QString("Good:3 Bad:1 75% "));
    }

    void percentGoodTruncates()
    {
        QCOMPARE(percentGood(3, 1), 75);
        QCOMPARE(percentGood(0, 5), 0);
        QCOMPARE(percentGood(2, 1), 66);
        QCOMPARE(percentGood(0, 0), 0);
        QCOMPARE(percentGood(2000000000, 0), 100);  // no overflow in good x 100
    }

    void tickWritesLabelsAndThreshold()
    {
        MainWindow window;
        decoder().telemetry.transmitterId = 0x1A2;
        decoder().telemetry.azimuth = 123.45f;
        decoder().params.threshold = 40000.7f;  // automatic threshold on at first start
        tick(window);
        QCOMPARE(labelText(window, "label_ID"), QString("Nimbra ID: 01A2"));
        QCOMPARE(labelText(window, "label_azimuth"), QString("Azimuth:  123.45 ") + kDegree);
        auto* threshold = child<QSpinBox>(window, "spinBoxThreshold");
        QCOMPARE(threshold->value(), 32767);
        decoder().params.threshold = 812.9f;
        tick(window);
        QCOMPARE(threshold->value(), 812);
        // Switched off, the last value shown becomes the threshold.
        child<QPushButton>(window, "pushButton_autoThreshold")->setChecked(false);
        tick(window);
        QCOMPARE(decoder().params.threshold.load(), 812.0f);
        QCOMPARE(decoder().params.autoThreshold.load(), 0);
        child<QPushButton>(window, "pushButton_autoThreshold")->setChecked(true);
        tick(window);
    }

    void paneGetsLinesWithoutTheFinalTerminator()
    {
        MainWindow window;
        auto* pane = child<QTextBrowser>(window, "packetTextBrowser");
        decoder().decodedDisplayText.append("first line\rsecond line\r");
        tick(window);
        QCOMPARE(pane->toPlainText(), QString("first line\nsecond line"));
        QVERIFY(decoder().decodedDisplayText.empty());
        // A lone terminator adds nothing, not even an empty paragraph.
        decoder().decodedDisplayText.append("\r");
        tick(window);
        QCOMPARE(pane->toPlainText(), QString("first line\nsecond line"));
        QVERIFY(decoder().decodedDisplayText.empty());
        decoder().decodedDisplayText.append("third\r");
        window.AppendDecodeText();
        QCOMPARE(pane->toPlainText(), QString("first line\nsecond line\nthird"));

        child<QAction>(window, "actionClear_Decoded_Text")->trigger();
        QCOMPARE(pane->toPlainText(), QString());
        decoder().decodedDisplayText.append("after clearing\r");
        tick(window);
        QCOMPARE(pane->toPlainText(), QString("after clearing"));
    }

    void recordFileIsMadeOnceAndKept()
    {
        MainWindow window;
        auto* record = child<QPushButton>(window, "pushButton_recordDecodedText");
        decoder().decodedRecordText.append("not recorded\r");
        tick(window);
        QVERIFY(window.recordFileName().isEmpty());
        // Off: the pending record text waits.
        QVERIFY(!decoder().decodedRecordText.empty());
        decoder().decodedRecordText.takeAll();

        record->setChecked(true);
        tick(window);
        const QString name = window.recordFileName();
        QVERIFY(!name.isEmpty());
        QCOMPARE(QFileInfo(name).absolutePath(), QCoreApplication::applicationDirPath());
        QVERIFY(QFileInfo(name).fileName().startsWith("Rec_"));
        QCOMPARE(QFileInfo(name).size(), 0);  // made even before the first line

        decoder().decodedRecordText.append("line one\rline two\r");
        tick(window);
        record->setChecked(false);
        tick(window);
        record->setChecked(true);
        decoder().decodedRecordText.append("line three\r");
        tick(window);
        QCOMPARE(window.recordFileName(), name);
        QFile file(name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("line one\rline two\rline three\r"));
        QFile::remove(name);
        record->setChecked(false);
        tick(window);
    }

    // While a file is decoded, the pending record text is that file's: a tick must leave it for
    // the record file beside the WAVE file instead of writing it into the live record file.
    void aTickLeavesTheRecordTextOfAFileDecode()
    {
        MainWindow window;
        auto* record = child<QPushButton>(window, "pushButton_recordDecodedText");
        record->setChecked(true);
        tick(window);
        const QString name = window.recordFileName();
        QVERIFY(!name.isEmpty());

        nimbra::fileDecodeRunning = 1;
        decoder().decodedRecordText.append("from the file\r");
        tick(window);
        nimbra::fileDecodeRunning = 0;
        QCOMPARE(QByteArray::fromStdString(decoder().decodedRecordText.takeAll()),
                 QByteArray("from the file\r"));
        QCOMPARE(QFileInfo(name).size(), 0);

        QFile::remove(name);
        record->setChecked(false);
        tick(window);
    }

    void recordFileFallsBackToTheDataFolder()
    {
        const QDateTime time(QDate(2013, 6, 6), QTime(15, 30, 0), Qt::UTC);
        QCOMPARE(liveRecordFileName(time), QString("Rec_06-Jun-2013-153000.txt"));
        QTemporaryDir data;
        std::unique_ptr<QFile> file(
            openLiveRecordFile("/nonexistent/folder", data.filePath("nimbra"), time, nullptr));
        QVERIFY(file->isOpen());
        QCOMPARE(file->fileName(), data.filePath("nimbra/Rec_06-Jun-2013-153000.txt"));
        std::unique_ptr<QFile> lost(openLiveRecordFile("/nonexistent/a", "/proc/nimbra", time, nullptr));
        QVERIFY(!lost->isOpen());
    }

    void cancelledOpenWaveStartsNothing()
    {
        QTemporaryDir cwd;
        const QString previous = QDir::currentPath();
        QDir::setCurrent(cwd.path());
        {
            MainWindow window;
            window.setWaveFileChooser([] { return QString(); });
            child<QAction>(window, "actionOpen_WAVE")->trigger();
            QVERIFY(!window.decodeRunning());
            QCOMPARE(window.pendingDecodes(), 0);
            QCOMPARE(nimbra::fileDecodeRunning.load(), 0);
        }
        QDir::setCurrent(previous);
        QCOMPARE(QDir(cwd.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void dialogsOpenSideBySideAndAreDeletedOnClose()
    {
        MainWindow window;
        window.show();
        child<QAction>(window, "actionConfig")->trigger();
        child<QAction>(window, "actionConfig")->trigger();
        child<QAction>(window, "actionAbout_Nimbra")->trigger();
        QList<SetupDialog*> setups = window.findChildren<SetupDialog*>();
        QCOMPARE(setups.size(), 2);
        QVERIFY(setups[0]->isVisible() && setups[1]->isVisible());
        QVERIFY(!setups[0]->isModal());
        QCOMPARE(window.findChildren<AboutDialog*>().size(), 1);

        setups[0]->reject();
        window.findChildren<AboutDialog*>().first()->accept();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(window.findChildren<SetupDialog*>().size(), 1);
        QCOMPARE(window.findChildren<AboutDialog*>().size(), 0);
    }

    void closingTheWindowTakesOpenDialogsAlong()
    {
        QPointer<SetupDialog> setup;
        QPointer<AboutDialog> about;
        {
            MainWindow window;
            child<QAction>(window, "actionConfig")->trigger();
            child<QAction>(window, "actionAbout_Nimbra")->trigger();
            setup = window.findChild<SetupDialog*>();
            about = window.findChild<AboutDialog*>();
            QVERIFY(setup && about);
        }
        QVERIFY(setup.isNull());
        QVERIFY(about.isNull());
    }

    void liveBlocksAreDiscardedWhileAFileIsDecoded()
    {
        auto fresh = std::make_unique<nimbra::Decoder>();
        nimbra::SampleQueue queue;
        QVERIFY(queue.allocate());
        queue.setStopped(false);
        std::vector<std::uint32_t> frames(1024, 0x00100010u);
        queue.PutInQueue(1024, frames.data());
        queue.GetInQueue();  // the discard-once step
        for (int i = 0; i < 66; ++i)
            queue.PutInQueue(1024, frames.data());  // 67,584 frames: 132 blocks, primed
        const auto next = [&queue] { return queue.GetInQueue(); };

        nimbra::fileDecodeRunning = 1;
        QCOMPARE(feedLiveBlocks(next, *fresh), 0);
        QCOMPARE(queue.count(), 0);  // taken out all the same, so the ring cannot overflow
        nimbra::fileDecodeRunning = 0;
        for (int i = 0; i < 3; ++i)
            queue.PutInQueue(1024, frames.data());
        QCOMPARE(feedLiveBlocks(next, *fresh), 6);
        QCOMPARE(feedLiveBlocks([] { return nullptr; }, *fresh), 0);
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
