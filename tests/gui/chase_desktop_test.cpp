// The desktop program in a chase car, against the real counterparts: gpsd through gpsfake
// replaying a car that drives and then stands, Hamlib's rotctld with its dummy rotator, and the
// local tile server. The GPS moves the station (look angles, the signal panel's distances, the
// track view's car and trail) while the typed-in position stays stored; the rotator turns to a
// live trusted fix, never before the station's position is known. With NIMBRA_SCREENSHOT_DIR
// (ctest's gui_chase_screenshot) it takes docs/chase.md's picture of the track view.
#include <QAction>
#include <QDockWidget>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

#include "app/chase_overlay.h"
#include "app/desktop_panels.h"
#include "app/desktop_station.h"
#include "app/flight_log.h"
#include "app/main_window.h"
#include "app/map_tiles.h"
#include "app/signal_panel.h"
#include "app/status_messages.h"
#include "app/tile_fetcher.h"
#include "app/track_view.h"
#include "decoder/decoder.h"
#include "flight/flight_fix.h"
#include "station_processes.h"
#include "test_support.h"
#include "tile_server.h"

using namespace nimbra;

namespace {

constexpr double kMetresPerDegree = 111195.08;

FlightFix liveFix(float azimuth, float elevation)
{
    FlightFix f;
    f.record.transmitterId = 0x1A2B;
    f.record.azimuth = azimuth;
    f.record.elevation = elevation;
    f.trusted = true;
    return f;
}

bool pointsAt(quint16 port, double az, double el)
{
    const auto p = rotatorPosition(port);
    return p && std::fabs(p->first - az) < 1.0 && std::fabs(p->second - el) < 1.0;
}

}  // namespace

class ChaseDesktopTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateUserFolders(); }

    void theCarMovesTheStationAndTheRotatorFollowsALiveFix()
    {
        if (QStandardPaths::findExecutable("gpsfake").isEmpty() || QStandardPaths::findExecutable("rotctld").isEmpty())
            QFAIL("gpsfake and rotctld are needed (scripts/install-deps.sh installs them)");
        QTemporaryDir dir;
        // The car drives south along a road of the test tiles towards the sample flight's
        // predicted landing, 80 m an epoch, then stands.
        const double roadLon = MapTiles::longitudeOf(294, 10);
        QList<CarEpoch> epochs;
        for (int i = 0; i < 40; ++i)
            epochs.append({39.66 - i * 80.0 / kMetresPerDegree, roadLon, 150.0, 20.0, 180.0, true});
        for (int i = 0; i < 400; ++i)
            epochs.append({epochs[39].latitude, roadLon, 150.0, 0.0, 0.0, true});
        const CarEpoch parked = epochs.last();
        const QString log = dir.filePath("car.nmea");
        QVERIFY(writeNmeaLog(log, epochs));

        const quint16 gpsPort = freeTcpPort(), rotPort = freeTcpPort();
        CounterpartProcess rotctld, gpsfake;
        QVERIFY(rotctld.startRotctld(rotPort));
        TileServer tiles;
        QVERIFY(tiles.listen());
        clearSettingsStore();
        {
            QSettings s("org.nimbra-project", "Nimbra");
            s.setValue("Station/positionFromGps", true);
            s.setValue("Station/gpsdHost", "127.0.0.1");
            s.setValue("Station/gpsdPort", gpsPort);
            s.setValue("Rotator/on", true);
            s.setValue("Rotator/host", "127.0.0.1");
            s.setValue("Rotator/port", rotPort);
            s.setValue("Desktop/tileUrl", tiles.urlTemplate());
            s.setValue("Desktop/tileAttribution", "Map: the tests' own tiles");
        }
        MainWindow window;
        window.resize(1280, 800);
        window.show();
        QVERIFY(window.findChild<QAction*>("actionRotator")->isChecked());

        // No station position yet (the GPS is not there): a fix does not move the rotator.
        window.station().fixAccepted(liveFix(40.0f, 20.0f));
        QTest::qWait(1500);
        QVERIFY(pointsAt(rotPort, 0.0, 0.0));
        QVERIFY2(!window.station().rotatorText().contains("sent"), qPrintable(window.station().rotatorText()));

        QVERIFY(gpsfake.startGpsfake(log, gpsPort));
        QTRY_VERIFY_WITH_TIMEOUT(window.station().moving(), 20000);
        QCOMPARE(window.decoder().liveStation.on.load(), 1);
        QVERIFY(std::fabs(double(window.decoder().liveStation.longitude.load()) - roadLon) < 1e-5);
        QTRY_COMPARE(window.decoder().liveStation.altitude.load(), 150.0f);  // once the fix is 3D
        QTRY_VERIFY(window.findChild<QLabel*>("gpsStatus")->text().startsWith("GPS: fix"));

        // With the car's position: the rotator turns to the live fix (the dummy turns 6° a second).
        window.station().fixAccepted(liveFix(40.0f, 20.0f));
        QTRY_VERIFY_WITH_TIMEOUT(pointsAt(rotPort, 40.0, 20.0), 15000);
        QVERIFY(window.findChild<QLabel*>("rotatorStatus")->text().contains("sent 40.0/20.0 (RPRT 0)"));

        // Parked: the sample flight's look angles are taken from the car, as if it had been typed in.
        QTRY_VERIFY_WITH_TIMEOUT(std::fabs(double(window.station().position().latitude) - double(parked.latitude)) < 1e-5, 30000);
        QVERIFY(window.station().trail().size() >= 20);
        const auto next = std::make_shared<std::int64_t>(QDateTime(QDate(2026, 6, 6), QTime(6, 0), Qt::UTC).toMSecsSinceEpoch());
        window.decoder().setClock([next] { return (*next += 1000); });
        window.findChild<QAction*>("actionOpen_Test_File")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!window.decodeRunning(), 120000);
        QTest::qWait(600);
        const QByteArray csv = runProgram(NIMBRA_DECODE, {"--quiet", "--format", "csv", "--station",
                                                          QString("%1,%2,150").arg(parked.latitude, 0, 'f', 7).arg(roadLon, 0, 'f', 7),
                                                          MainWindow::testFilePath()});
        const QList<QByteArray> last = csv.trimmed().split('\n').last().split(',');
        const FlightFix& latest = window.panels().log().latest();
        QVERIFY(std::fabs(double(latest.record.azimuth) - last[6].toDouble()) < 0.1);
        QVERIFY(std::fabs(double(latest.record.elevation) - last[7].toDouble()) < 0.1);
        QVERIFY(std::fabs(double(latest.record.range) - last[8].toDouble()) < 0.010);
        // The typed-in position is still the stored one.
        QCOMPARE(window.decoder().params.userLat.load(), 39.75f);
        // The way from the car to the sonde and to the landing.
        const GeoPoint car{window.station().position().latitude, window.station().position().longitude};
        QCOMPARE(window.panels().signalPanel()->text("toSonde"),
                 bearingDistance(car, {latest.record.latitude, latest.record.longitude}));
        QVERIFY(latest.prediction.valid);
        QCOMPARE(window.panels().signalPanel()->text("toLanding"),
                 bearingDistance(car, {latest.prediction.landing.latitude, latest.prediction.landing.longitude}));
        // A recording's fixes never point the antenna.
        QVERIFY(pointsAt(rotPort, 40.0, 20.0));

        const QString folder = qEnvironmentVariable("NIMBRA_SCREENSHOT_DIR");
        if (!folder.isEmpty()) {
            window.statusMessages().clear(StatusMessages::Capture);
            auto* dock = window.findChild<QDockWidget*>("dockTrack");
            dock->setFloating(true);
            dock->resize(640, 520);
            dock->show();
            TrackView* view = window.panels().trackView();
            view->fitFlight();
            QTRY_VERIFY_WITH_TIMEOUT(view->tileNetwork().requestsSent() > 0 && view->tileNetwork().inFlight() == 0, 20000);
            QTest::qWait(300);
            QDir().mkpath(folder);
            QVERIFY(view->grab().save(QDir(folder).filePath("chase-track-view.png")));
        }
        window.station().apply(StationSettings{});  // the threads end before the counterparts go
        gpsfake.stop();
        rotctld.stop();
    }
};

QTEST_MAIN(ChaseDesktopTest)
#include "chase_desktop_test.moc"
