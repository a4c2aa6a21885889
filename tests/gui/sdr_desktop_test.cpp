// The desktop program as an SDR receiver: an IQ recording of two sondes opened through File >
// Open IQ Recording... and its dialog, against nimbra-decode --iq on the same file; the project's
// SoapySDR test radio and rtl_tcp test server playing three-sonde bands in real time, with the
// Sondes and Spectrum panels, the choice of a sonde, the radio pulled out and back. With
// NIMBRA_SCREENSHOT_DIR (ctest's gui_sdr_screenshots) it takes the README's pictures of the two
// panels.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QtTest>

#include "app/band_input.h"
#include "app/desktop_panels.h"
#include "app/flight_log.h"
#include "app/iq_recording_dialog.h"
#include "app/main_window.h"
#include "app/sdr_input_settings.h"
#include "app/sondes_panel.h"
#include "app/spectrum_view.h"
#include "app/status_messages.h"
#include "decoder/decoder.h"
#include "sources/band_decode_thread.h"
#include "test_support.h"

using namespace nimbra;

namespace {

// A band from the synthesizer (cu8 at 2.4 MS/s) and the fixes it holds: "ID counter" each.
QSet<QString> synthBand(const QString& path, const QStringList& args)
{
    const QString expected = path + ".csv";
    runProgram(NIMBRA_SYNTH, QStringList{"--channel", "iq", "--iq-format", "cu8", "--rate", "2400000", "--expected",
                                         expected}
                                 << args << path);
    QSet<QString> sent;
    QFile f(expected);
    if (!f.open(QIODevice::ReadOnly))
        return sent;
    const QList<QByteArray> header = f.readLine().trimmed().split(',');
    const int id = header.indexOf("id"), counter = header.indexOf("counter");
    while (!f.atEnd()) {
        const QList<QByteArray> row = f.readLine().trimmed().split(',');
        if (row.size() > std::max(id, counter))
            sent.insert(QString::fromLatin1(row[id] + " " + row[counter]));
    }
    return sent;
}

QString paneText(MainWindow& w)
{
    return w.findChild<QTextBrowser*>("packetTextBrowser")->toPlainText();
}

// "ID counter" of each decoded-text line.
QStringList idsAndCounters(const QStringList& lines)
{
    QStringList out;
    for (const QString& l : lines) {
        const QStringList parts = l.split(' ', Qt::SkipEmptyParts);
        if (parts.size() >= 2)
            out << parts[0] + " " + parts[1];
    }
    return out;
}

}  // namespace

class SdrDesktopTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateUserFolders(); }
    void init() { clearSettingsStore(); }

    void anIqRecordingOpenedThroughTheDialogGivesNimbraDecodesFixes()
    {
        QTemporaryDir dir;
        // Nothing in the name says the rate or the frequency: the dialog asks.
        const QString band = dir.filePath("two-sondes.cu8");
        synthBand(band, {"--duration", "30", "--ebn0", "14", "--seed", "31", "--sonde", "id=1A2B,offset=-300k",
                         "--sonde", "id=2C3D,offset=420k,level=-2"});
        const QStringList reference = linesWithoutTimeStamps(QString::fromLatin1(runProgram(
            NIMBRA_DECODE, {"--quiet", "--iq", "cu8", "--rate", "2400000", "--freq", "1680M", band})));
        QVERIFY2(reference.size() > 40, qPrintable(reference.join('\n')));

        MainWindow window;
        window.findChild<QPushButton*>("pushButton_recordDecodedText")->setChecked(true);
        window.decoder().params.recordDecodedText = 1;  // now, not at the next tick
        window.setIqFileChooser([&] { return band; });
        bool asked = false;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<IqRecordingDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            asked = true;
            QVERIFY(!dialog->findChild<QComboBox*>("comboBox_format")->isEnabled());  // .cu8 said it
            dialog->findChild<QComboBox*>("comboBox_rate")->setCurrentText("2400000");
            dialog->findChild<QLineEdit*>("lineEdit_frequency")->setText("1680M");
            dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok)->click();
        });
        window.findChild<QAction*>("actionOpen_IQ_Recording")->trigger();
        QVERIFY(asked);
        QVERIFY(window.decodeRunning());
        QTRY_VERIFY_WITH_TIMEOUT(!window.decodeRunning(), 120000);
        QCoreApplication::processEvents();
        window.AppendDecodeText();
        const QStringList lines = linesWithoutTimeStamps(paneText(window));
        QCOMPARE(lines, reference);
        // The record file beside the recording holds the same lines.
        QFile record(band + ".txt");
        QVERIFY(record.open(QIODevice::ReadOnly));
        QCOMPARE(linesWithoutTimeStamps(QString::fromLatin1(record.readAll())), reference);
        // The dialog's answers are kept for the next recording.
        const SdrInputSettings kept = SdrInputSettings::load();
        QCOMPARE(kept.iqRate, 2400000.0);
        QCOMPARE(kept.iqFrequencyHz, 1680e6);

        // Both sondes in the Sondes panel, with their frequencies.
        window.panels().refresh();
        SondesPanel* sondes = window.panels().sondesPanel();
        QCOMPARE(sondes->rowCount(), 2);
        QStringList serials{sondes->text(0, 0), sondes->text(1, 0)};
        serials.sort();
        QCOMPARE(serials, (QStringList{"1A2B", "2C3D"}));
        for (int r = 0; r < 2; ++r)
            QVERIFY2(sondes->text(r, 1) == (sondes->text(r, 0) == "1A2B" ? "1679.700 MHz" : "1680.420 MHz"),
                     qPrintable(sondes->text(r, 1)));
        // Choosing one: the views follow it.
        const int row2C3D = sondes->text(0, 0) == "2C3D" ? 0 : 1;
        const int channel = window.panels().band().sondes[row2C3D].channel;
        sondes->choose(channel);
        QCOMPARE(window.panels().log().followed(), std::optional<unsigned>(0x2C3D));
        QCOMPARE(window.panels().log().latest().record.transmitterId, 0x2C3Du);

        // Export Track...: one sonde, as chosen.
        const QString gpx = dir.filePath("one.gpx");
        window.setExportFileChooser([&] { return gpx; });
        window.setExportSondeChooser([](const std::vector<unsigned>& ids, std::optional<unsigned> followed, bool& chosen) {
            chosen = ids.size() == 2 && followed == 0x2C3Du;
            return followed;
        });
        window.findChild<QAction*>("actionExport_Track")->trigger();
        QFile exported(gpx);
        QVERIFY(exported.open(QIODevice::ReadOnly));
        const QByteArray doc = exported.readAll();
        QVERIFY(doc.contains("2C3D"));
        QVERIFY(!doc.contains("1A2B"));
    }

    void aGqrxRecordingNeedsNoQuestions()
    {
        QTemporaryDir dir;
        const QString band = dir.filePath("gqrx_20261208_061745_1680000000_2400000_fc.raw");
        // The same band as 32-bit float I/Q, as gqrx writes it.
        runProgram(NIMBRA_SYNTH, {"--channel", "iq", "--iq-format", "cf32", "--rate", "2400000", "--duration", "8",
                                  "--ebn0", "16", "--seed", "5", "--offset", "200000", band});
        const iq::IqRecordingGuess guess = iq::guessIqRecording(band.toStdString());
        QVERIFY(!IqRecordingDialog::needed(guess));
        QCOMPARE(guess.rate, std::optional<double>(2400000.0));
        QCOMPARE(guess.tunedHz, std::optional<double>(1680e6));
        MainWindow window;
        window.setIqFileChooser([&] { return band; });
        window.findChild<QAction*>("actionOpen_IQ_Recording")->trigger();
        QVERIFY(window.decodeRunning());
        QTRY_VERIFY_WITH_TIMEOUT(!window.decodeRunning(), 60000);
        window.panels().refresh();
        QCOMPARE(window.panels().sondesPanel()->rowCount(), 1);
        QCOMPARE(window.panels().sondesPanel()->text(0, 1), QString("1680.200 MHz"));
    }

    void aLiveRadioDecodesEverySondeWhileTheSpectrumDraws()
    {
        QTemporaryDir dir;
        const QString band = dir.filePath("three.cu8");
        const QSet<QString> sent =
            synthBand(band, {"--duration", "24", "--ebn0", "14", "--seed", "33", "--sonde", "id=1A2B,offset=-700k",
                             "--sonde", "id=2C3D,offset=150k,level=-2", "--sonde", "id=3E4F,offset=640k,level=-4"});
        {
            QSettings s("org.nimbra-project", "Nimbra");
            s.setValue("SDR/input", "soapy");
            s.setValue("SDR/soapyDevice", "driver=nimbratest,file=" + band);
            s.setValue("SDR/frequency", 1680e6);
            s.setValue("SDR/rate", 2400000);
        }
        MainWindow window;
        window.resize(1400, 900);
        window.show();
        window.findChild<QDockWidget*>("dockSpectrum")->raise();
        QVERIFY(window.bandInput().running());
        // The GUI thread's longest pause, measured by a timer that wants to run every 10 ms.
        QElapsedTimer gap;
        gap.start();
        qint64 longest = 0;
        QTimer probe;
        connect(&probe, &QTimer::timeout, this, [&] {
            longest = std::max(longest, gap.restart());
        });
        probe.start(10);
        QElapsedTimer run;
        run.start();
        QTRY_VERIFY_WITH_TIMEOUT(window.panels().band().sondes.size() == 3 &&
                                     window.panels().log().sondes().size() == 3,
                                 22000);
        QTest::qWait(int(std::max<qint64>(0, 20000 - run.elapsed())));
        probe.stop();
        const BandSnapshot snap = window.bandInput().thread()->snapshot();
        QCOMPARE(snap.device.lost, std::uint64_t(0));
        QCOMPARE(snap.device.overflows, 0);
        // Real time: the band decoded as far as the radio has played.
        QVERIFY2(snap.seconds > 17.0, qPrintable(QString::number(snap.seconds)));
        // The panel draws ten frames a second; the receiver measures a new spectrum four times a
        // second, each a row of the waterfall.
        const SpectrumView* spectrum = window.panels().spectrumView();
        const double seconds = run.elapsed() / 1000.0;
        QVERIFY2(spectrum->framesPainted() >= 8 * (seconds - 3), qPrintable(QString::number(spectrum->framesPainted())));
        QVERIFY2(spectrum->rowsDrawn() >= 3 * (seconds - 3), qPrintable(QString::number(spectrum->rowsDrawn())));
        qInfo().noquote() << QString("live radio: %1 s of band in %2 s, %3 frames and %4 waterfall rows drawn, "
                                     "GUI thread's longest pause %5 ms")
                                 .arg(snap.seconds, 0, 'f', 1).arg(seconds, 0, 'f', 1).arg(spectrum->framesPainted())
                                 .arg(spectrum->rowsDrawn()).arg(longest);
        // Every sonde's lines in the pane, each a fix that was sent.
        window.AppendDecodeText();
        const QStringList fixes = idsAndCounters(linesWithoutTimeStamps(paneText(window)));
        QSet<QString> ids;
        for (const QString& f : fixes) {
            QVERIFY2(sent.contains(f), qPrintable(f));
            ids.insert(f.left(4));
        }
        QCOMPARE(ids, (QSet<QString>{"1A2B", "2C3D", "3E4F"}));
        // The labels follow the sonde chosen.
        SondesPanel* panel = window.panels().sondesPanel();
        int row3E4F = -1;
        for (int r = 0; r < panel->rowCount(); ++r)
            if (panel->text(r, 0) == "3E4F")
                row3E4F = r;
        QVERIFY(row3E4F >= 0);
        panel->choose(window.panels().band().sondes[row3E4F].channel);
        QTRY_VERIFY_WITH_TIMEOUT(window.findChild<QLabel*>("label_ID")->text().contains("3E4F"), 5000);

        const QString folder = qEnvironmentVariable("NIMBRA_SCREENSHOT_DIR");
        if (!folder.isEmpty()) {
            QDir().mkpath(folder);
            for (const char* name : {"dockSondes", "dockSpectrum"}) {
                auto* d = window.findChild<QDockWidget*>(name);
                d->setFloating(true);
                d->resize(name == QByteArray("dockSondes") ? 780 : 720, name == QByteArray("dockSondes") ? 200 : 420);
                d->show();
            }
            QTest::qWait(4000);  // a few more rows of the waterfall
            window.panels().refresh();
            QVERIFY(window.panels().sondesPanel()->grab().save(QDir(folder).filePath("sondes-panel.png")));
            QVERIFY(window.panels().spectrumView()->grab().save(QDir(folder).filePath("spectrum-panel.png")));
        }
    }

    void anRtlTcpServerThatGoesAwayIsWaitedForAndNoted()
    {
        QTemporaryDir dir;
        const QString band = dir.filePath("drop.cu8");
        synthBand(band, {"--duration", "20", "--ebn0", "14", "--seed", "35", "--sonde", "id=1A2B,offset=-300k"});
        QProcess server;
        server.setProcessChannelMode(QProcess::MergedChannels);
        server.start("python3", {QStringLiteral(NIMBRA_SOURCE_DIR) + "/tests/sdr/rtl_tcp_server.py", "--band", band,
                                 "--rate", "2400000", "--commands", dir.filePath("commands.log"), "--drop-at", "7",
                                 "--drop-for", "4"});
        QVERIFY(server.waitForReadyRead(10000));
        const QByteArray greeting = server.readAll();
        const QRegularExpressionMatch port = QRegularExpression("listening on (\\d+)").match(QString::fromLatin1(greeting));
        QVERIFY2(port.hasMatch(), greeting.constData());
        {
            QSettings s("org.nimbra-project", "Nimbra");
            s.setValue("SDR/input", "rtl_tcp");
            s.setValue("SDR/rtlTcp", "127.0.0.1:" + port.captured(1));
            s.setValue("SDR/frequency", 1680e6);
            s.setValue("SDR/rate", 2400000);
        }
        // The live record file goes to the working folder: the test's own.
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        const auto back = qScopeGuard([&] { QDir::setCurrent(previous); });
        MainWindow window;
        window.findChild<QPushButton*>("pushButton_recordDecodedText")->setChecked(true);
        QVERIFY(window.bandInput().running());
        QTRY_VERIFY_WITH_TIMEOUT(window.statusMessages().shown().contains("lost at"), 15000);
        QVERIFY2(window.statusMessages().shown().contains("trying again"), qPrintable(window.statusMessages().shown()));
        QTRY_VERIFY_WITH_TIMEOUT(window.statusMessages().shown().contains("resumed at"), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(window.panels().log().fixes().size() > 2 &&
                                     window.panels().log().fixes().back().record.sampleIndex > 12 * 48000,
                                 15000);
        QTest::qWait(1200);
        // The record file notes the gap between the lines before it and those after.
        QFile record(window.recordFileName());
        QVERIFY(record.open(QIODevice::ReadOnly));
        const QString text = QString::fromLatin1(record.readAll());
        QVERIFY2(text.contains(QRegularExpression("\r# \\d\\d \\w{3} \\d{4} \\d\\d:\\d\\d:\\d\\d SDR rtl_tcp 127\\.0\\.0\\.1:\\d+ resumed after \\d+ s\r")),
                 qPrintable(text));
        server.kill();
        server.waitForFinished();
    }
};

QTEST_MAIN(SdrDesktopTest)
#include "sdr_desktop_test.moc"
