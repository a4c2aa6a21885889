// The flight-tracking settings in their own group of the settings store: defaults on a first
// start, a round trip, the ground following the station until set, and a damaged store.
#include <QFile>
#include <QSettings>
#include <QtTest>

#include "app/flight_settings.h"
#include "app/settings.h"
#include "demod/decoder_parameters.h"
#include "test_support.h"

using nimbra::FlightTrackingSettings;

class FlightSettingsTest : public QObject {
    Q_OBJECT

    static QSettings store() { return QSettings(nimbra::kOrganization, nimbra::kApplication); }

private slots:
    void initTestCase() { isolateUserFolders(); }
    void init()
    {
        clearSettingsStore();
        QFile::remove(QSettings(nimbra::kOrganization, nimbra::kApplication).fileName());
    }

    void firstStartGivesTheDefaults()
    {
        const FlightTrackingSettings f = nimbra::LoadFlightTrackingSettings();
        QVERIFY(f.trust);
        QCOMPARE(f.burstAltitudeM, 30000.0);
        QVERIFY(!f.groundAltitudeM);
        QCOMPARE(f.ascentRateMps, 5.0);
        QCOMPARE(f.descentRateMps, 5.0);
        const nimbra::flight::TrackerSettings t = f.tracker(220.0);
        QVERIFY(t.trust);
        QCOMPARE(t.groundAltitudeM, 220.0);  // the station's altitude
    }

    void roundTripInItsOwnGroup()
    {
        FlightTrackingSettings f;
        f.trust = false;
        f.burstAltitudeM = 24500.0;
        f.groundAltitudeM = 85.5;
        f.ascentRateMps = 6.25;
        f.descentRateMps = 4.5;
        nimbra::SaveFlightTrackingSettings(f);
        // The decoder parameters' own keys stay as they are.
        nimbra::DecoderParameters params;
        nimbra::SaveSettings(params);
        const FlightTrackingSettings back = nimbra::LoadFlightTrackingSettings();
        QCOMPARE(back.trust, false);
        QCOMPARE(back.burstAltitudeM, 24500.0);
        QVERIFY(back.groundAltitudeM);
        QCOMPARE(*back.groundAltitudeM, 85.5);
        QCOMPARE(back.ascentRateMps, 6.25);
        QCOMPARE(back.descentRateMps, 4.5);
        QCOMPARE(back.tracker(220.0).groundAltitudeM, 85.5);
        QCOMPARE(store().value("FlightTracking/burstAltitude").toDouble(), 24500.0);
        QVERIFY(!store().contains("burstAltitude"));
        // Back to following the station.
        f.groundAltitudeM.reset();
        nimbra::SaveFlightTrackingSettings(f);
        QVERIFY(!nimbra::LoadFlightTrackingSettings().groundAltitudeM);
        QVERIFY(!store().contains("FlightTracking/groundAltitude"));
    }

    void damagedValuesReadAsDefaults()
    {
        {
            QSettings s = store();
            s.setValue("FlightTracking/burstAltitude", "very high");
            s.setValue("FlightTracking/groundAltitude", "1e400");
            s.setValue("FlightTracking/ascentRate", 0.0);
            s.setValue("FlightTracking/descentRate", "nan");
        }
        const FlightTrackingSettings f = nimbra::LoadFlightTrackingSettings();
        QCOMPARE(f.burstAltitudeM, 30000.0);
        QVERIFY(!f.groundAltitudeM);
        QCOMPARE(f.ascentRateMps, 5.0);
        QCOMPARE(f.descentRateMps, 5.0);
    }
};

QTEST_MAIN(FlightSettingsTest)
#include "flight_settings_test.moc"
