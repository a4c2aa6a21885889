// Recordings of any format: a 44.1 kHz stereo WAVE with the signal in its first channel, a float
// WAVE and a FLAC give the same lines as nimbra-decode on the same file; the channel setting
// picks the other channel of a stereo file; a 16-bit mono 48 kHz WAVE keeps its raw read; a file
// that cannot be read gives its message in the status bar and no record file.
#include <QAction>
#include <QFile>
#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include "app/main_window.h"
#include "app/status_messages.h"
#include "decoder/decoder.h"
#include "test_support.h"

using namespace nimbra;

namespace {

QString paneText(MainWindow& window)
{
    return window.findChild<QTextBrowser*>("packetTextBrowser")->toPlainText();
}

bool sox(const QStringList& arguments)
{
    QProcess p;
    p.start(QStringLiteral("sox"), arguments);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning() << "sox" << arguments << p.readAllStandardError();
        return false;
    }
    return true;
}

// Decodes the file in a fresh window and returns the pane's lines without their time stamps.
QStringList decodedLines(const QString& path, int channel = 1, bool record = false)
{
    MainWindow window;
    DesktopSettings settings = window.desktopSettings();
    settings.waveChannel = channel;
    window.setDesktopSettings(settings);
    window.decoder().params.recordDecodedText = record ? 1 : 0;
    window.setWaveFileChooser([path] { return path; });
    window.findChild<QAction*>("actionOpen_WAVE")->trigger();
    if (!QTest::qWaitFor([&window] { return !window.decodeRunning(); }, 120000))
        return {QStringLiteral("timed out")};
    QCoreApplication::processEvents();
    window.AppendDecodeText();
    return linesWithoutTimeStamps(paneText(window));
}

}  // namespace

class AnyWaveTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString flight_;  // mono, 16-bit, 48 kHz, 20 s
    QString stereo_;  // 44.1 kHz stereo, the flight in channel 1, silence in channel 2

private slots:
    void initTestCase()
    {
        isolateUserFolders();
        clearSettingsStore();
        if (QStringLiteral(NIMBRA_DECODE).isEmpty())
            QSKIP("nimbra-decode is not built");
        if (QStandardPaths::findExecutable(QStringLiteral("sox")).isEmpty())
            QSKIP("sox is not installed (scripts/install-deps.sh installs it)");
        flight_ = dir_.filePath("flight.wav");
        QVERIFY(synthesizeFlight(flight_, 20, {"--ebn0", "22"}));
        stereo_ = dir_.filePath("stereo-44k1.wav");
        QVERIFY(sox({flight_, "-r", "44100", stereo_, "remix", "1", "0"}));
    }

    void stereo44k1GivesTheHeadlessDecodersLines()
    {
        const QStringList reference = referenceLines(stereo_, false);
        QVERIFY2(reference.size() >= 18, qPrintable(reference.join('\n')));
        QCOMPARE(decodedLines(stereo_), reference);
        // Read as it used to be (raw, both channels interleaved, at the wrong rate) nothing
        // decodes: the mend is what makes these lines.
        QVERIFY(referenceLines(stereo_, true).isEmpty());
    }

    void floatAndFlacGiveTheHeadlessDecodersLines()
    {
        const QString floating = dir_.filePath("float.wav");
        QVERIFY(sox({flight_, "-e", "floating-point", "-b", "32", floating}));
        const QStringList reference = referenceLines(floating, false);
        QVERIFY(reference.size() >= 18);
        QCOMPARE(decodedLines(floating), reference);
        const QString flac = dir_.filePath("flight.flac");
        QVERIFY(sox({flight_, flac}));
        QCOMPARE(decodedLines(flac), referenceLines(flac, false));
    }

    void theChannelSettingPicksTheChannel()
    {
        const QString right = dir_.filePath("right.wav");
        QVERIFY(sox({flight_, "-r", "44100", right, "remix", "0", "1"}));
        QVERIFY(decodedLines(right, 1).isEmpty());
        QStringList args{"--quiet", "--channel", "2", right};
        const QStringList reference = linesWithoutTimeStamps(QString::fromLatin1(runProgram(QStringLiteral(NIMBRA_DECODE), args)));
        QVERIFY(!reference.isEmpty());
        QCOMPARE(decodedLines(right, 2), reference);
        // A channel the file does not have: its last channel... of a mono file, the only one.
        QCOMPARE(decodedLines(stereo_, 5).size(), 0);
        QCOMPARE(decodedLines(flight_, 2), referenceLines(flight_, true));
    }

    void plainWaveKeepsItsRawRead()
    {
        // The header's 44 bytes go through the decoder as samples, exactly as before.
        QCOMPARE(decodedLines(flight_), referenceLines(flight_, true));
    }

    void aFileThatCannotBeReadGivesItsMessageAndNoRecordFile()
    {
        const QString text = dir_.filePath("notes.wav");
        QFile f(text);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("these are notes, not a recording\n").repeated(200));
        f.close();
        for (const QString& path : {text, dir_.filePath("missing.wav")}) {
            MainWindow window;
            window.decoder().params.recordDecodedText = 1;
            window.startFileDecode(path);
            QTRY_VERIFY_WITH_TIMEOUT(!window.decodeRunning(), 30000);
            QCoreApplication::processEvents();
            const QString message = window.statusMessages().text(StatusMessages::File);
            QVERIFY2(message.startsWith("Cannot decode " + QFileInfo(path).fileName() + ": "), qPrintable(message));
            QVERIFY(window.statusBar()->currentMessage().contains(message));
            QVERIFY(!QFile::exists(path + ".txt"));
            QVERIFY(window.arbiter().liveMayFeed());
            // The next decode clears the message.
            window.startFileDecode(flight_);
            QTRY_VERIFY_WITH_TIMEOUT(!window.decodeRunning(), 120000);
            QVERIFY(window.statusMessages().text(StatusMessages::File).isEmpty());
        }
        QFile::remove(flight_ + ".txt");
    }
};

QTEST_MAIN(AnyWaveTest)
#include "any_wave_test.moc"
