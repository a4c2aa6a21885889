// The panels beside the main window after a WAVE decode: the signal panel's rates and counts
// match the blocks sent, the views and the plots hold the trusted fixes, File > Export Track
// writes GPX and KML that xmllint accepts and that hold every trusted fix; the fix feed's road
// across threads and its tracking stage. With NIMBRA_SCREENSHOT_DIR set, the README's pictures of
// the panels after the sample flight (gui_panel_screenshots).
#include <QAction>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QProcess>
#include <QStatusBar>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>
#include <thread>

#include "app/desktop_panels.h"
#include "app/fix_feed.h"
#include "app/flight_log.h"
#include "app/flight_plots.h"
#include "app/main_window.h"
#include "app/status_messages.h"
#include "app/signal_panel.h"
#include "app/sky_view.h"
#include "app/track_view.h"
#include "decoder/decoder.h"
#include "test_support.h"
#include "window_decode.h"

using namespace nimbra;

namespace {

int countOf(const QByteArray& text, const char* what)
{
    return static_cast<int>(text.count(what));
}

bool xmllintAccepts(const QString& path)
{
    QProcess lint;
    lint.start(QStringLiteral("xmllint"), {QStringLiteral("--noout"), path});
    return lint.waitForFinished(30000) && lint.exitStatus() == QProcess::NormalExit && lint.exitCode() == 0;
}

}  // namespace

class PanelsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString flight_;  // 24 s at 20 dB Eb/N0
    int gpsBlocks_ = 24;
    // The flight is picked up by three fixes that agree: the first two are not trusted.
    int trusted_ = 22;

private slots:
    void initTestCase()
    {
        isolateUserFolders();
        clearSettingsStore();
        flight_ = dir_.filePath("flight.wav");
        QVERIFY(synthesizeFlight(flight_, gpsBlocks_, {"--ebn0", "20"}));
    }

    void afterAWaveDecodeThePanelMatchesTheBlocksSent()
    {
        MainWindow window;
        QVERIFY(decodeInWindow(window, flight_));
        const SignalStats::Figures f = window.panels().stats().figures();
        // 24 s of signal, one GPS block expected a second, all 24 received.
        QCOMPARE(f.shortWindow.expected, gpsBlocks_);
        QCOMPARE(f.shortWindow.received, gpsBlocks_);
        QCOMPARE(f.longWindow.expected, gpsBlocks_);
        QCOMPARE(f.longWindow.received, gpsBlocks_);
        // The recording's Eb/N0, measured block by block.
        QVERIFY2(std::fabs(f.medianEbN0Db - 20.0f) < 1.5f, qPrintable(QString::number(double(f.medianEbN0Db))));
        QCOMPARE(f.bitsRepaired, 0);
        QVERIFY(f.secondsSinceFix >= 0.0 && f.secondsSinceFix < 1.5);
        QVERIFY(!f.noSignal);
        const SignalPanel* panel = window.panels().signalPanel();
        QCOMPARE(panel->text("rate30"), QString("24 of 24 GPS blocks (100 %)"));
        QCOMPARE(panel->text("input"), QString("flight.wav, decoded"));
        QVERIFY(panel->text("level").contains(QRegularExpression("^peak -\\d+\\.\\d dBFS, RMS -\\d+\\.\\d dBFS$")));
        QCOMPARE(panel->text("clipping"), QString());
        // The views and plots hold every trusted fix.
        QCOMPARE(int(window.panels().log().fixes().size()), trusted_);
        window.panels().plots()->refresh();
        QCOMPARE(window.panels().plots()->altitudePoints(), trusted_);
        QCOMPARE(window.panels().plots()->ascentPoints(), trusted_);
        // The sky view's current position is the last fix's direction.
        const FlightFix& last = window.panels().log().latest();
        QCOMPARE(last.record.timeCounter, 1200u + unsigned(gpsBlocks_) - 1u);
        // Edit > Reset Counters: the labels' counts and the panel's start again.
        window.findChild<QAction*>("actionReset_Counters")->trigger();
        QCOMPARE(window.decoder().telemetry.goodPackets.load(), 0);
        QCOMPARE(window.decoder().telemetry.badPackets.load(), 0);
        QCOMPARE(window.panels().stats().figures().shortWindow.received, 0);
    }

    void exportedGpxAndKmlPassXmllintAndHoldEveryTrustedFix()
    {
        MainWindow window;
        const QString gpx = dir_.filePath("track.gpx");
        const QString kml = dir_.filePath("track.kml");
        // Nothing decoded yet: nothing written.
        window.setExportFileChooser([&gpx] { return gpx; });
        window.findChild<QAction*>("actionExport_Track")->trigger();
        QVERIFY(!QFile::exists(gpx));
        QVERIFY(decodeInWindow(window, flight_));
        window.findChild<QAction*>("actionExport_Track")->trigger();
        window.setExportFileChooser([&kml] { return kml; });
        window.findChild<QAction*>("actionExport_Track")->trigger();
        for (const QString& path : {gpx, kml}) {
            QVERIFY2(QFile::exists(path), qPrintable(path));
            QVERIFY2(xmllintAccepts(path), qPrintable(path));
        }
        QFile g(gpx), k(kml);
        QVERIFY(g.open(QIODevice::ReadOnly) && k.open(QIODevice::ReadOnly));
        const QByteArray gpxText = g.readAll();
        const QByteArray kmlText = k.readAll();
        QCOMPARE(countOf(gpxText, "<trkpt "), trusted_);
        // Every fix's position.
        for (const FlightFix& f : window.panels().log().fixes())
            QVERIFY(gpxText.contains("lat=\"" + QByteArray::number(double(f.record.latitude), 'f', 7) + "\" lon=\"" +
                                     QByteArray::number(double(f.record.longitude), 'f', 7) + "\""));
        // The track's line string holds one coordinate triple per trusted fix (beside it the
        // predicted path and the landing).
        const QRegularExpression coordinates("<coordinates>([^<]*)</coordinates>");
        QList<int> triples;
        for (auto it = coordinates.globalMatch(QString::fromUtf8(kmlText)); it.hasNext();)
            triples << int(it.next().captured(1).split(QRegularExpression("\\s+"), Qt::SkipEmptyParts).size());
        QVERIFY2(triples.contains(trusted_), qPrintable(QString::number(triples.size())));
        // An unwritable target leaves nothing behind and says so.
        window.setExportFileChooser([this] { return dir_.filePath("missing-folder/track.gpx"); });
        window.findChild<QAction*>("actionExport_Track")->trigger();
        QVERIFY(window.statusBar()->currentMessage().startsWith("Cannot export the track"));
    }

    // Fixes made on another thread arrive on the GUI thread, in order, through the tracking
    // stage; untrusted fixes reach the listeners but not the views and the export.
    void theFeedCarriesFixesAcrossThreadsThroughTheTracker()
    {
        Decoder decoder;
        FixFeed feed;
        FlightLog log;
        feed.attach(decoder);
        feed.setTracker([](FlightFix& fix) {
            fix.trusted = fix.record.timeCounter % 2 == 0;
            fix.phase = FlightPhase::Ascent;
        });
        QList<unsigned> counters;
        QList<Qt::HANDLE> threads;
        connect(&feed, &FixFeed::fixAccepted, this, [&](const FlightFix& fix) {
            counters << fix.record.timeCounter;
            threads << QThread::currentThreadId();
            QCOMPARE(fix.phase, FlightPhase::Ascent);
            QVERIFY(fix.line.find(" 1A2B ") != std::string::npos);
            log.add(fix);
        });
        int blocks = 0;
        connect(&feed, &FixFeed::blockFinished, this, [&blocks](const PacketEvent& b) {
            QVERIFY(b.bytes == nullptr);
            ++blocks;
        });
        QFile f(flight_);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        std::thread worker([&decoder, &bytes] {
            decoder.ProcessSamples(reinterpret_cast<const std::int16_t*>(bytes.constData()),
                                   static_cast<std::size_t>(bytes.size() / 2));
        });
        worker.join();
        QTRY_COMPARE(counters.size(), gpsBlocks_);
        for (int i = 0; i < counters.size(); ++i) {
            QCOMPARE(counters[i], 1200u + unsigned(i));
            QCOMPARE(threads[i], QThread::currentThreadId());
        }
        QVERIFY(blocks >= 2 * gpsBlocks_ - 1);
        QCOMPARE(int(log.fixes().size()), gpsBlocks_ / 2);
        QCOMPARE(feed.dropped(), 0);
        FixFeed::detach(decoder);
    }

    // The README's pictures: the panels after the sample flight, in a process that decoded
    // nothing else (gui_panel_screenshots sets NIMBRA_SCREENSHOT_DIR).
    void screenshotsOfThePanelsAfterTheSampleFlight()
    {
        const QString folder = qEnvironmentVariable("NIMBRA_SCREENSHOT_DIR");
        if (folder.isEmpty())
            QSKIP("set NIMBRA_SCREENSHOT_DIR (ctest does: gui_panel_screenshots)");
        const QString sample = MainWindow::testFilePath();
        if (!QFile::exists(sample))
            QSKIP("the sample recording is not built");
        MainWindow window;
        auto next = std::make_shared<std::int64_t>(QDateTime(QDate(2026, 6, 6), QTime(6, 0), Qt::UTC).toMSecsSinceEpoch());
        window.decoder().setClock([next] { return (*next += 1000); });
        window.resize(1280, 800);
        window.show();
        window.findChild<QAction*>("actionOpen_Test_File")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!window.decodeRunning(), 120000);
        QTest::qWait(600);
        window.panels().refresh();
        // The test runs without an audio server: no sound input line in the pictures.
        window.statusMessages().clear(StatusMessages::Capture);
        QDir().mkpath(folder);
        QVERIFY(window.panels().signalPanel()->grab().save(QDir(folder).filePath("signal-panel.png")));
        for (const char* dock : {"dockSky", "dockTrack", "dockPlots"}) {
            auto* d = window.findChild<QDockWidget*>(dock);
            d->setFloating(true);
            d->resize(520, 460);
            d->show();
            QCoreApplication::processEvents();
        }
        window.panels().plots()->refresh();
        QCoreApplication::processEvents();
        QVERIFY(window.panels().skyView()->grab().save(QDir(folder).filePath("sky-view.png")));
        QVERIFY(window.panels().trackView()->grab().save(QDir(folder).filePath("track-view.png")));
        QVERIFY(window.panels().plots()->grab().save(QDir(folder).filePath("plots.png")));
    }
};

QTEST_MAIN(PanelsTest)
#include "panels_test.moc"
