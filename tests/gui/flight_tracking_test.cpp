// The flight tracking in the desktop program's fix feed: a fix with a good checksum but a
// displaced position is shown in the text pane yet kept from the views, the plots and the
// network outputs; the signal panel shows the flight phase and the track view gets the landing
// prediction; with the trust setting off every fix counts.
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include <cmath>

#include "app/desktop_panels.h"
#include "app/flight_log.h"
#include "app/flight_plots.h"
#include "app/flight_settings.h"
#include "app/main_window.h"
#include "app/output_settings.h"
#include "app/signal_panel.h"
#include "test_support.h"
#include "window_decode.h"
#include "tests/outputs/local_sockets.h"

using namespace nimbra;

namespace {

constexpr int kSeconds = 40;      // one GPS block a second
constexpr int kFirstTrusted = 3;  // the flight is picked up by three fixes that agree

// Metres between two fixes on the ground (short distances).
double groundDistance(const FlightFix& a, const FlightFix& b)
{
    constexpr double kPi = 3.14159265358979323846;
    constexpr double kEarthM = 6371000.0;
    const double latA = a.record.latitude, latB = b.record.latitude;
    const double lonA = a.record.longitude, lonB = b.record.longitude;
    const double lat = (latA + latB) / 2.0 * kPi / 180.0;
    const double north = (latB - latA) * kPi / 180.0 * kEarthM;
    const double east = (lonB - lonA) * kPi / 180.0 * kEarthM * std::cos(lat);
    return std::hypot(north, east);
}

}  // namespace

class FlightTrackingTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString flight_;  // a fix 3 km off at second 20

private slots:
    void initTestCase()
    {
        isolateUserFolders();
        clearSettingsStore();
        flight_ = dir_.filePath("injected.wav");
        QVERIFY(synthesizeFlight(flight_, kSeconds, {"--flight", "--ebn0", "20", "--inject-position", "20:3000"}));
    }
    void init() { clearSettingsStore(); }

    void aDisplacedFixIsShownButNeitherDrawnNorSent()
    {
        outputs::test::UdpReceiver socket;
        OutputSettings outputs;
        outputs.udpEnabled = true;
        outputs.udpAddress = QStringLiteral("127.0.0.1:%1").arg(socket.port());
        outputs.save();
        MainWindow window;
        QVERIFY(decodeInWindow(window, flight_));

        // The text pane shows every fix with a good checksum, the displaced one too.
        const QString pane = window.findChild<QTextBrowser*>("packetTextBrowser")->toPlainText();
        QCOMPARE(linesWithoutTimeStamps(pane).size(), kSeconds);

        // The views, the plots and the outputs: the trusted fixes, from the third on, without the
        // displaced one.
        const FlightLog& log = window.panels().log();
        const int trusted = kSeconds - (kFirstTrusted - 1) - 1;
        QCOMPARE(int(log.fixes().size()), trusted);
        for (std::size_t i = 1; i < log.fixes().size(); ++i)
            QVERIFY2(groundDistance(log.fixes()[i - 1], log.fixes()[i]) < 500.0, "a jump in the track");
        window.panels().plots()->refresh();
        QCOMPARE(window.panels().plots()->altitudePoints(), trusted);
        QTRY_COMPARE_WITH_TIMEOUT(socket.count(), trusted, 10000);

        // The phase in the signal panel, the prediction for the track view.
        QCOMPARE(log.latest().phase, FlightPhase::Ascent);
        QCOMPARE(window.panels().signalPanel()->text("phase"), SignalPanel::phaseName(FlightPhase::Ascent));
        QVERIFY(log.latest().prediction.valid);
        QVERIFY(!log.latest().prediction.path.empty());

        // Decoded again, the recording is a flight of its own: picked up afresh, the same fixes.
        QVERIFY(decodeInWindow(window, flight_));
        QCOMPARE(int(log.fixes().size()), 2 * trusted);
    }

    void withTheTrustSettingOffEveryFixCounts()
    {
        FlightTrackingSettings f;
        f.trust = false;
        SaveFlightTrackingSettings(f);
        MainWindow window;
        QVERIFY(decodeInWindow(window, flight_));
        QCOMPARE(int(window.panels().log().fixes().size()), kSeconds);
        QVERIFY(window.panels().log().latest().prediction.valid);
    }
};

QTEST_MAIN(FlightTrackingTest)
#include "flight_tracking_test.moc"
