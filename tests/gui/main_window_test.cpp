// The main window: one tick of the periodic loop, the text pane, the record file, the menus, the
// status bar; and the rules of who feeds the window's decoder.
#include <QAction>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include "app/about_dialog.h"
#include "app/demod_graphics_view.h"
#include "app/label_texts.h"
#include "app/live_feed.h"
#include "app/live_record_file.h"
#include "app/main_window.h"
#include "app/setup_dialog.h"
#include "decoder/decoder.h"
#include "sources/audio_backend.h"
#include "sources/decode_arbiter.h"
#include "sources/sample_queue.h"
#include "test_support.h"

using namespace nimbra;

namespace {

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

// A queue past its discard-once step holding 67,584 frames of `frames` (1,024 of them): 132
// blocks, primed.
void fillPrimed(SampleQueue& queue, const std::vector<std::uint32_t>& frames)
{
    QVERIFY(queue.allocate());
    queue.setStopped(false);
    queue.PutInQueue(1024, frames.data());
    queue.GetInQueue();  // the discard-once step
    for (int i = 0; i < 66; ++i)
        queue.PutInQueue(1024, frames.data());
}

// Collects the trace lines written while it lives, and passes them on.
class TraceCapture {
public:
    TraceCapture() { previous_ = qInstallMessageHandler(&TraceCapture::handle); }
    ~TraceCapture() { qInstallMessageHandler(previous_); }
    static QStringList& lines()
    {
        static QStringList collected;
        return collected;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (type == QtDebugMsg)
            lines() << message;
        if (previous_)
            previous_(type, context, message);
    }
    static inline QtMessageHandler previous_ = nullptr;
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateUserFolders();
        clearSettingsStore();
    }

    void labelsBeforeTheFirstFix()
    {
        const TelemetryState t;
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
        TelemetryState t;
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
        window.decoder().telemetry.transmitterId = 0x1A2;
        window.decoder().telemetry.azimuth = 123.45f;
        window.decoder().params.threshold = 40000.7f;  // automatic threshold on at first start
        tick(window);
        QCOMPARE(labelText(window, "label_ID"), QString("Nimbra ID: 01A2"));
        QCOMPARE(labelText(window, "label_azimuth"), QString("Azimuth:  123.45 ") + kDegree);
        auto* threshold = child<QSpinBox>(window, "spinBoxThreshold");
        QCOMPARE(threshold->value(), 32767);
        window.decoder().params.threshold = 812.9f;
        tick(window);
        QCOMPARE(threshold->value(), 812);
        // Switched off, the last value shown becomes the threshold.
        child<QPushButton>(window, "pushButton_autoThreshold")->setChecked(false);
        tick(window);
        QCOMPARE(window.decoder().params.threshold.load(), 812.0f);
        QCOMPARE(window.decoder().params.autoThreshold.load(), 0);
        child<QPushButton>(window, "pushButton_autoThreshold")->setChecked(true);
        tick(window);
    }

    void paneGetsLinesWithoutTheFinalTerminator()
    {
        MainWindow window;
        auto* pane = child<QTextBrowser>(window, "packetTextBrowser");
        window.decoder().decodedDisplayText.append("first line\rsecond line\r");
        tick(window);
        QCOMPARE(pane->toPlainText(), QString("first line\nsecond line"));
        QVERIFY(window.decoder().decodedDisplayText.empty());
        // A lone terminator adds nothing, not even an empty paragraph.
        window.decoder().decodedDisplayText.append("\r");
        tick(window);
        QCOMPARE(pane->toPlainText(), QString("first line\nsecond line"));
        QVERIFY(window.decoder().decodedDisplayText.empty());
        window.decoder().decodedDisplayText.append("third\r");
        window.AppendDecodeText();
        QCOMPARE(pane->toPlainText(), QString("first line\nsecond line\nthird"));

        child<QAction>(window, "actionClear_Decoded_Text")->trigger();
        QCOMPARE(pane->toPlainText(), QString());
        window.decoder().decodedDisplayText.append("after clearing\r");
        tick(window);
        QCOMPARE(pane->toPlainText(), QString("after clearing"));
    }

    void recordFileIsMadeOnceAndKept()
    {
        MainWindow window;
        auto* record = child<QPushButton>(window, "pushButton_recordDecodedText");
        window.decoder().decodedRecordText.append("not recorded\r");
        tick(window);
        QVERIFY(window.recordFileName().isEmpty());
        // Off: the pending record text waits.
        QVERIFY(!window.decoder().decodedRecordText.empty());
        window.decoder().decodedRecordText.takeAll();

        record->setChecked(true);
        tick(window);
        const QString name = window.recordFileName();
        QVERIFY(!name.isEmpty());
        QCOMPARE(QFileInfo(name).absolutePath(), QCoreApplication::applicationDirPath());
        QVERIFY(QFileInfo(name).fileName().startsWith("Rec_"));
        QCOMPARE(QFileInfo(name).size(), 0);  // made even before the first line

        window.decoder().decodedRecordText.append("line one\rline two\r");
        tick(window);
        record->setChecked(false);
        tick(window);
        record->setChecked(true);
        window.decoder().decodedRecordText.append("line three\r");
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

        window.arbiter().beginFileDecode();
        window.decoder().decodedRecordText.append("from the file\r");
        tick(window);
        window.arbiter().endFileDecode();
        QCOMPARE(QByteArray::fromStdString(window.decoder().decodedRecordText.takeAll()),
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
            QVERIFY(window.arbiter().liveMayFeed());
        }
        QDir::setCurrent(previous);
        QCOMPARE(QDir(cwd.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // Without an audio server the status bar says that the sound input waits for one, at
    // start-up and again after Config and OK; Qt's audio is not touched meanwhile.
    void aSoundInputWithoutServerIsReportedInTheStatusBar()
    {
        if (AudioBackend::instance().waitForFirstTry(3000))
            QSKIP("an audio server answers (run under ctest, which names no audio server)");
        const QString expected("No audio server: the sound input starts as soon as one answers");
        TraceCapture trace;
        TraceCapture::lines().clear();
        MainWindow window;
        auto* bar = child<QStatusBar>(window, "statusBar");
        QCOMPARE(bar->currentMessage(), expected);
        QVERIFY(!TraceCapture::lines().contains("Stereo Input"));

        bar->clearMessage();
        TraceCapture::lines().clear();
        child<QAction>(window, "actionConfig")->trigger();
        auto* dialog = window.findChild<SetupDialog*>();
        QVERIFY(dialog);
        QTest::mouseClick(dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok),
                          Qt::LeftButton);
        QVERIFY(TraceCapture::lines().contains("ConfigWasChanged"));
        QCOMPARE(bar->currentMessage(), expected);
        QVERIFY(!AudioBackend::instance().ready());
    }

    // The parts of the window work on the window's own decoder: the setup dialog edits its
    // parameters and the scope view draws its rings (a repaint releases its held capture).
    void theWindowHandsItsDecoderToItsParts()
    {
        MainWindow window;
        window.resize(700, 600);
        child<QAction>(window, "actionConfig")->trigger();
        auto* dialog = window.findChild<SetupDialog*>();
        QVERIFY(dialog);
        dialog->findChild<QLineEdit*>("lineEdit_latitude")->setText("-12.5");
        QTest::mouseClick(dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok),
                          Qt::LeftButton);
        QCOMPARE(window.decoder().params.userLat.load(), -12.5f);

        auto* view = child<DemodGraphicsView>(window, "graphicsView");
        window.decoder().scope.hold = 1;
        view->grab();
        QCOMPARE(window.decoder().scope.hold.load(), 0);
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

    // A file decode is claimed by whoever starts it and by its thread: claiming twice is one claim,
    // and the end of the decode gives the decoder back to live audio.
    void arbiterGivesTheDecoderToOneFeederAtATime()
    {
        DecodeArbiter arbiter;
        QVERIFY(arbiter.feeder() == DecodeArbiter::Feeder::Live);
        QVERIFY(arbiter.liveMayFeed());
        arbiter.beginFileDecode();
        arbiter.beginFileDecode();
        QVERIFY(arbiter.feeder() == DecodeArbiter::Feeder::File);
        QVERIFY(!arbiter.liveMayFeed());
        arbiter.endFileDecode();
        QVERIFY(arbiter.feeder() == DecodeArbiter::Feeder::Live);
    }

    void liveBlocksAreDiscardedWhileAFileIsDecoded()
    {
        auto fresh = std::make_unique<Decoder>();
        DecodeArbiter arbiter;
        SampleQueue queue;
        std::vector<std::uint32_t> frames(1024, 0x00100010u);
        fillPrimed(queue, frames);
        const auto next = [&queue] { return queue.GetInQueue(); };

        arbiter.beginFileDecode();
        QCOMPARE(feedLiveBlocks(next, *fresh, arbiter), 0);
        QCOMPARE(queue.count(), 0);  // taken out all the same, so the ring cannot overflow
        arbiter.endFileDecode();
        for (int i = 0; i < 3; ++i)
            queue.PutInQueue(1024, frames.data());
        QCOMPARE(feedLiveBlocks(next, *fresh, arbiter), 6);
        QCOMPARE(feedLiveBlocks([] { return nullptr; }, *fresh, arbiter), 0);
    }

    // The live feed takes the blocks before a gap, then the gap (its note to the record, the
    // decoder's stretch of samples ended), then the blocks after it; a gap while a file decode
    // holds the decoder still hands over its note.
    void liveFeedPassesGapsInOrder()
    {
        auto fresh = std::make_unique<Decoder>();
        DecodeArbiter arbiter;
        SampleQueue queue;
        std::vector<std::uint32_t> frames(1024, 0x00100010u);
        fillPrimed(queue, frames);
        queue.PutInQueue(100, frames.data());
        queue.markGap("# lost");
        queue.markGap("# resumed");
        queue.PutInQueue(1024, frames.data());
        QStringList notes;
        const auto note = [&notes](const QString& text) { notes << text; };
        QCOMPARE(feedLiveAudio(queue, *fresh, arbiter, note), 134);
        QCOMPARE(notes, QStringList({"# lost", "# resumed"}));
        QCOMPARE(queue.count(), 0);

        queue.markGap("# lost again");
        arbiter.beginFileDecode();
        QCOMPARE(feedLiveAudio(queue, *fresh, arbiter, note), 0);
        QCOMPARE(notes.last(), QString("# lost again"));
        arbiter.endFileDecode();
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
