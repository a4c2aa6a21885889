// The pieces behind the panels: the signal figures in signal time (windows, restarts, no
// signal, quality, repairs), the sky view's polar mapping, the track view's plane, fit, pan and
// zoom, and map tiles from a local z/x/y folder.
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

#include "app/flight_log.h"
#include "app/local_projection.h"
#include "app/map_tiles.h"
#include "app/signal_stats.h"
#include "app/sky_view.h"
#include "app/track_view.h"
#include "decoder/decoder.h"
#include "test_support.h"

using namespace nimbra;

namespace {

constexpr std::int64_t kSecond = SignalStats::kSampleRate;

PacketEvent blockAt(std::int64_t sample, BlockKind kind, bool good, float ebN0 = std::numeric_limits<float>::quiet_NaN(),
                  int repaired = 0)
{
    PacketEvent b;
    b.kind = kind;
    b.crcGood = good;
    b.sampleIndex = sample;
    b.ebN0Db = ebN0;
    b.bitsRepaired = repaired;
    return b;
}

FlightFix fixAt(double lat, double lon, float alt, float ascent, float az = 0.0f, float el = 0.0f)
{
    FlightFix f;
    f.record.latitude = static_cast<float>(lat);
    f.record.longitude = static_cast<float>(lon);
    f.record.altitude = alt;
    f.record.ascent = ascent;
    f.record.azimuth = az;
    f.record.elevation = el;
    f.record.transmitterId = 0x1A2B;
    return f;
}

}  // namespace

class ViewsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateUserFolders(); }

    void ratesCountGoodGpsBlocksInSignalTime()
    {
        SignalStats s;
        s.restart(1000);
        // 100 s of signal: a good GPS block every second but every fifth, a PTU block each
        // second, one bad GPS block.
        for (int i = 1; i <= 100; ++i) {
            const std::int64_t at = 1000 + i * kSecond - kSecond / 2;
            s.addBlock(blockAt(at - kSecond / 4, BlockKind::Ptu, true));
            s.addBlock(blockAt(at, BlockKind::Gps, i % 5 != 0));
        }
        s.advanceTo(1000 + 100 * kSecond);
        SignalStats::Figures f = s.figures();
        QCOMPARE(f.shortWindow.expected, 30);
        QCOMPARE(f.shortWindow.received, 24);
        // Only 100 s of input so far: 100 expected in the 2-minute window.
        QCOMPARE(f.longWindow.expected, 100);
        QCOMPARE(f.longWindow.received, 80);
        QVERIFY(!f.noSignal);
        // Blocks from before the input began do not count.
        s.restart(1000 + 100 * kSecond);
        s.addBlock(blockAt(1000 + 99 * kSecond, BlockKind::Gps, true));
        s.advanceTo(1000 + 110 * kSecond);
        f = s.figures();
        QCOMPARE(f.shortWindow.expected, 10);
        QCOMPARE(f.shortWindow.received, 0);
        QCOMPARE(f.secondsSinceFix, -1.0);
    }

    void noSignalAfterThirtySecondsWithoutABlock()
    {
        SignalStats s;
        s.restart(0);
        s.advanceTo(29 * kSecond);
        QVERIFY(!s.figures().noSignal);
        s.advanceTo(30 * kSecond);
        QVERIFY(s.figures().noSignal);
        // A bad block is a signal too.
        s.addBlock(blockAt(31 * kSecond, BlockKind::Gps, false));
        QVERIFY(!s.figures().noSignal);
        s.advanceTo(61 * kSecond);
        QVERIFY(s.figures().noSignal);
    }

    void qualityRepairsAndTheLastFix()
    {
        SignalStats s;
        s.restart(0);
        QVERIFY(std::isnan(s.figures().latestEbN0Db));
        for (int i = 1; i <= 12; ++i)
            s.addBlock(blockAt(i * kSecond, BlockKind::Gps, true, float(i), i == 3 ? 1 : 0));
        s.addBlock(blockAt(13 * kSecond, BlockKind::Gps, false, NAN, 1));  // a bad block's repair does not count
        s.addFix(12 * kSecond);
        s.advanceTo(20 * kSecond);
        const SignalStats::Figures f = s.figures();
        QCOMPARE(f.latestEbN0Db, 12.0f);
        QCOMPARE(f.medianEbN0Db, 8.0f);  // of 3..12
        QCOMPARE(f.bitsRepaired, 1);
        QCOMPARE(f.blocksRepaired, 1);
        QCOMPARE(f.secondsSinceFix, 8.0);
        s.resetCounters();
        QCOMPARE(s.figures().bitsRepaired, 0);
        QCOMPARE(s.figures().shortWindow.expected, 0);
    }

    void skyViewPutsTheZenithInTheMiddleAndNorthUp()
    {
        FlightLog log;
        SkyView view(log);
        view.resize(244, 244);  // radius 100 inside the compass margin
        const QPointF centre(122, 122);
        QCOMPARE(view.pointFor(123, 90), centre);
        QCOMPARE(view.pointFor(0, 0), centre + QPointF(0, -100));
        QCOMPARE(view.pointFor(90, 0), centre + QPointF(100, 0));
        const QPointF south = view.pointFor(180, 45);
        QVERIFY(std::abs(south.x() - 122) < 1e-9 && std::abs(south.y() - 172) < 1e-9);
        // Below the horizon: on the rim.
        QCOMPARE(view.pointFor(270, -5), centre + QPointF(-100, 0));
        log.add(fixAt(39.8, -76.9, 1000, 5, 45, 30));
        QImage image(view.size(), QImage::Format_RGB32);
        view.render(&image);
        const QPointF at = view.pointFor(45, 30);
        QCOMPARE(QColor(image.pixel(at.toPoint())), QColor(0xd6, 0x27, 0x28));
    }

    void trackViewPlaneFitPanAndZoom()
    {
        QCOMPARE(TrackView::niceLength(0.7), 0.5);
        QCOMPARE(TrackView::niceLength(1.2), 1.0);
        QCOMPARE(TrackView::niceLength(2.9), 2.0);
        QCOMPARE(TrackView::niceLength(4.0), 5.0);
        QCOMPARE(TrackView::niceLength(80.0), 100.0);
        // 1 degree of latitude is 111.2 km; east shrinks with the cosine of the latitude.
        const LocalProjection proj(60.0, 10.0);
        QVERIFY(std::abs(proj.toPlane(61.0, 10.0).north - 111.195) < 0.01);
        QVERIFY(std::abs(proj.toPlane(60.0, 12.0).east - 111.195) < 0.01);
        QVERIFY(std::abs(proj.toPlane(60.0, 9.0).east + 55.597) < 0.01);
        QVERIFY(std::abs(LocalProjection(0.0, 179.5).toPlane(0.0, -179.5).east - 111.195) < 0.01);

        FlightLog log;
        DecoderParameters params;  // station 39.75 N, 76.98 W
        TrackView view(log, params);
        view.resize(400, 400);
        // Ascent to the north-east, then descent further east.
        log.add(fixAt(39.80, -76.90, 3000, 5));
        log.add(fixAt(39.90, -76.80, 9000, 5));
        log.add(fixAt(39.90, -76.60, 2000, -8));
        QImage image(view.size(), QImage::Format_RGB32);
        view.render(&image);
        QVERIFY(view.following());
        // The fit keeps the station and every fix in view.
        for (const FlightFix& f : log.fixes()) {
            const QPointF s = view.toScreen(LocalProjection(39.75, -76.98).toPlane(f.record.latitude, f.record.longitude));
            QVERIFY(QRectF(0, 0, 400, 400).contains(s));
        }
        QVERIFY(QRectF(0, 0, 400, 400).contains(view.toScreen({0, 0})));
        // Zoom keeps the point under the pointer; pan moves the plane with the pointer.
        const QPointF pointer(300, 100);
        const PlanePoint under = view.toPlane(pointer);
        view.zoomBy(2.0, pointer);
        QVERIFY(!view.following());
        const PlanePoint after = view.toPlane(pointer);
        QVERIFY(std::abs(after.east - under.east) < 1e-9 && std::abs(after.north - under.north) < 1e-9);
        const double ppk = view.pixelsPerKm();
        view.panBy(QPointF(50, -20));
        const PlanePoint moved = view.toPlane(pointer + QPointF(50, -20));
        QVERIFY(std::abs(moved.east - after.east) < 1e-9 && std::abs(moved.north - after.north) < 1e-9);
        QCOMPARE(view.pixelsPerKm(), ppk);
        view.fitFlight();
        QVERIFY(view.following());
    }

    void mapTilesFromALocalFolder()
    {
        // Tile arithmetic: the origin tile at zoom 0, Greenwich and the equator in the middle.
        QCOMPARE(MapTiles::tileX(-180.0, 0), 0.0);
        QCOMPARE(MapTiles::tileX(0.0, 3), 4.0);
        QVERIFY(std::abs(MapTiles::tileY(0.0, 3) - 4.0) < 1e-12);
        QVERIFY(std::abs(MapTiles::latitudeOf(MapTiles::tileY(39.75, 12), 12) - 39.75) < 1e-9);
        QVERIFY(std::abs(MapTiles::longitudeOf(MapTiles::tileX(-76.98, 12), 12) + 76.98) < 1e-9);
        // One tile pixel per screen pixel: at the equator a zoom-0 pixel is 156.5 km.
        QCOMPARE(MapTiles::zoomFor(1.0 / 156.543, 0.0), 0);
        QCOMPARE(MapTiles::zoomFor(1024.0 / 156.543, 0.0), 10);

        // A folder holding one green tile under the station, at the zoom the view will ask for.
        QTemporaryDir dir;
        FlightLog log;
        DecoderParameters params;
        TrackView view(log, params);
        view.resize(300, 300);
        view.setTileFolder(dir.path());
        QImage blank(view.size(), QImage::Format_RGB32);
        view.render(&blank);  // fits the view around the station
        const int z = MapTiles::zoomFor(view.pixelsPerKm(), 39.75);
        const int x = int(MapTiles::tileX(-76.98, z)), y = int(MapTiles::tileY(39.75, z));
        QImage tile(256, 256, QImage::Format_RGB32);
        tile.fill(QColor(0, 200, 0));
        QDir().mkpath(dir.filePath(QString("%1/%2").arg(z).arg(x)));
        QVERIFY(tile.save(view.tiles().pathOf(z, x, y)));
        view.setTileFolder(QString());
        view.setTileFolder(dir.path());  // a new folder: the cache starts empty
        QImage image(view.size(), QImage::Format_RGB32);
        view.render(&image);
        // Just north-east of the station marker lies the tile's green.
        const QPointF station = view.toScreen({0, 0});
        int green = 0;
        for (int dx = -40; dx <= 40; dx += 10)
            for (int dy = -40; dy <= 40; dy += 10)
                green += QColor(image.pixel((station + QPointF(dx, dy)).toPoint())) == QColor(0, 200, 0);
        QVERIFY2(green > 20, qPrintable(QString::number(green)));
        // Without tiles: none of it.
        view.setTileFolder(QString());
        view.render(&image);
        QVERIFY(QColor(image.pixel((station + QPointF(30, 30)).toPoint())) != QColor(0, 200, 0));
    }
};

QTEST_MAIN(ViewsTest)
#include "views_test.moc"
