// Map tiles from a tile server in the track view, against a local server that records every
// request and its headers: the User-Agent, two requests at a time, only what the view shows, the
// HTTP cache and its headers, failures drawn blank and retried later, offline only, the local
// folder read first, the attribution on the view.
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include "app/flight_log.h"
#include "app/map_tiles.h"
#include "app/tile_fetcher.h"
#include "app/track_view.h"
#include "demod/decoder_parameters.h"
#include "test_support.h"
#include "tile_server.h"

using namespace nimbra;

namespace {

struct View {
    FlightLog log;
    DecoderParameters params;
    TrackView view{log, params};
    QImage image{QSize(400, 300), QImage::Format_RGB32};

    explicit View(const TileServer& server, bool offline = false)
    {
        view.resize(image.size());
        TileNetworkSettings s;
        s.urlTemplate = server.urlTemplate();
        s.offlineOnly = offline;
        view.setTileNetwork(s);
    }
    void paint() { view.render(&image); }
    // Paints until the server has nothing left to answer, or `ms` passed.
    void settle(int ms = 5000)
    {
        QElapsedTimer t;
        t.start();
        do {
            paint();
            QTest::qWait(50);
        } while (t.elapsed() < ms && (view.tileNetwork().inFlight() > 0 || view.tileNetwork().requestsSent() == 0));
        paint();
    }
    // The tiles a repaint covers now.
    int tilesInView() const
    {
        const LocalProjection proj(params.userLat.load(), params.userLon.load());
        const PlanePoint tl = view.toPlane({0, 0}), br = view.toPlane({double(image.width()), double(image.height())});
        const int z = MapTiles::zoomFor(view.pixelsPerKm(), params.userLat.load());
        const int x0 = int(MapTiles::tileX(proj.longitudeOf(tl), z)), x1 = int(MapTiles::tileX(proj.longitudeOf(br), z));
        const int y0 = int(MapTiles::tileY(proj.latitudeOf(tl), z)), y1 = int(MapTiles::tileY(proj.latitudeOf(br), z));
        return (x1 - x0 + 1) * (y1 - y0 + 1);
    }
};

}  // namespace

class MapNetworkTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateUserFolders(); }
    void init() { QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation)).removeRecursively(); }

    void fetchesWhatTheViewShowsTwoAtATimeNamingItself()
    {
        TileServer server;
        QVERIFY(server.listen());
        server.delayMs = 100;
        View v(server);
        v.paint();
        // The first repaint draws no tile and asks for each once, none during the repaint.
        QCOMPARE(server.requests().size(), 0);
        v.settle();
        const int shown = v.tilesInView();
        QCOMPARE(server.requests().size(), shown);
        QVERIFY2(server.maxConcurrent() <= TileFetcher::kMaxInFlight, qPrintable(QString::number(server.maxConcurrent())));
        QSet<QString> paths;
        for (const TileServer::Request& r : server.requests()) {
            QCOMPARE(r.headers.value("user-agent"), QByteArray("Nimbra/1.0.0"));
            QVERIFY2(!paths.contains(r.path), qPrintable(r.path));  // never twice
            paths.insert(r.path);
        }
        // The tiles are drawn: the ground's colour under the station.
        QCOMPARE(QColor(v.image.pixel(200, 140)).rgb() & 0xffffff, QColor(0xf2, 0xef, 0xe9).rgb() & 0xffffff);
        // Panning across many screens quickly asks only for what the latest repaints showed.
        server.clear();
        for (int i = 0; i < 40; ++i) {
            v.view.panBy({-300, 0});
            v.paint();
        }
        v.settle();
        QVERIFY2(server.requests().size() <= 3 * shown, qPrintable(QString::number(server.requests().size())));
    }

    void theDiskCacheAnswersWhileTheServerSaysATileIsFresh()
    {
        TileServer server;
        QVERIFY(server.listen());
        {
            View v(server);
            v.settle();
        }
        const int first = server.requests().size();
        QVERIFY(first > 0);
        // A new view (nothing in memory): fresh tiles come from the disk cache alone.
        {
            View v(server);
            v.settle(1500);
            QCOMPARE(server.requests().size(), first);
            QCOMPARE(QColor(v.image.pixel(200, 140)).rgb() & 0xffffff, QColor(0xf2, 0xef, 0xe9).rgb() & 0xffffff);
        }
        // Tiles that must be revalidated are asked for with their ETag, and a 304 is enough.
        QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation)).removeRecursively();
        server.clear();
        server.maxAgeS = 1;
        {
            View v(server);
            v.settle();
        }
        QTest::qWait(3000);  // stale now (the cache counts in whole seconds of the server's Date)
        server.clear();
        {
            View v(server);
            v.settle();
            QVERIFY(server.notModified() > 0);
            QCOMPARE(server.notModified(), server.requests().size());
            QCOMPARE(QColor(v.image.pixel(200, 140)).rgb() & 0xffffff, QColor(0xf2, 0xef, 0xe9).rgb() & 0xffffff);
        }
    }

    void aFailedTileIsBlankAndTriedAgainOnlyLater()
    {
        TileServer server;
        QVERIFY(server.listen());
        server.status = 503;
        View v(server);
        v.settle();
        const int asked = server.requests().size();
        QVERIFY(asked > 0);
        QCOMPARE(v.view.tileNetwork().failures(), asked);
        // Repaints go on; the failed tiles wait for their back-off.
        for (int i = 0; i < 20; ++i) {
            v.paint();
            QTest::qWait(10);
        }
        QCOMPARE(server.requests().size(), asked);
        QVERIFY(QColor(v.image.pixel(200, 140)) != QColor(0xf2, 0xef, 0xe9));
    }

    void offlineOnlyAsksTheNetworkForNothing()
    {
        TileServer server;
        QVERIFY(server.listen());
        {
            View v(server);
            v.settle();
        }
        server.clear();
        View cached(server, true);
        cached.settle(1500);
        QCOMPARE(server.requests().size(), 0);
        QCOMPARE(QColor(cached.image.pixel(200, 140)).rgb() & 0xffffff, QColor(0xf2, 0xef, 0xe9).rgb() & 0xffffff);
        // Elsewhere, where nothing was cached: blank, and still no request.
        cached.view.panBy({-4000, 0});
        cached.settle(1000);
        QCOMPARE(server.requests().size(), 0);
    }

    void theLocalFolderIsReadFirstAndTheAttributionDrawn()
    {
        TileServer server;
        QVERIFY(server.listen());
        server.delayMs = 2000;  // a slow server: the view never waits for it
        View v(server);
        v.paint();
        const int z = MapTiles::zoomFor(v.view.pixelsPerKm(), 39.75);
        const int x = int(MapTiles::tileX(-76.98, z)), y = int(MapTiles::tileY(39.75, z));
        QTemporaryDir dir;
        QImage tile(256, 256, QImage::Format_RGB32);
        tile.fill(QColor(0, 200, 0));
        QDir().mkpath(dir.filePath(QString("%1/%2").arg(z).arg(x)));
        v.view.setTileFolder(dir.path());
        QVERIFY(tile.save(v.view.tiles().pathOf(z, x, y)));
        v.view.setTileFolder(QString());
        v.view.setTileFolder(dir.path());
        server.clear();
        v.paint();
        QTest::qWait(100);
        v.paint();
        const QPointF station = v.view.toScreen({0, 0});
        int green = 0;
        for (int dx = -40; dx <= 40; dx += 10)
            for (int dy = -40; dy <= 40; dy += 10)
                green += QColor(v.image.pixel((station + QPointF(dx, dy)).toPoint())) == QColor(0, 200, 0);
        QVERIFY2(green > 20, qPrintable(QString::number(green)));
        for (const TileServer::Request& r : server.requests())
            QVERIFY(r.path != QString("/tiles/%1/%2/%3.png").arg(z).arg(x).arg(y));
        // The attribution, bottom right, on a white box over whatever the map shows there.
        int white = 0;
        for (int dx = 0; dx < 60; dx += 4)
            white += QColor(v.image.pixel(v.image.width() - 10 - dx, v.image.height() - 8)).lightness() > 200;
        QVERIFY(white > 5);
        // No tile server: no attribution.
        TileNetworkSettings none;
        none.urlTemplate.clear();
        v.view.setTileNetwork(none);
        v.view.setTileFolder(QString());
        v.paint();
        QVERIFY(!v.view.tiles().enabled());
    }

    void theDefaultServerIsReachedThroughTheSystemProxy()
    {
        // The tests' proxy (tests/gui/CMakeLists.txt) refuses everything: the default server's
        // tiles fail fast and are drawn blank, and nothing leaves this machine.
        if (qEnvironmentVariable("https_proxy") != "http://127.0.0.1:9")
            QSKIP("runs under ctest, with its https_proxy");
        FlightLog log;
        DecoderParameters params;
        TrackView view(log, params);
        view.resize(300, 300);
        view.setTileNetwork(TileNetworkSettings{});
        QCOMPARE(view.tileNetwork().settings().urlTemplate, QString(TileNetworkSettings::kDefaultUrl));
        QImage image(view.size(), QImage::Format_RGB32);
        view.render(&image);
        QTRY_VERIFY(view.tileNetwork().requestsSent() > 0 && view.tileNetwork().inFlight() == 0);
        QCOMPARE(view.tileNetwork().failures(), view.tileNetwork().requestsSent());
    }

    void tileAddressesAreChecked()
    {
        QVERIFY(checkTileUrl("https://tile.openstreetmap.org/{z}/{x}/{y}.png").isEmpty());
        QVERIFY(checkTileUrl("http://127.0.0.1:8080/t/{z}/{y}/{x}").isEmpty());
        QVERIFY(checkTileUrl("").isEmpty());  // no network tiles
        QVERIFY(!checkTileUrl("ftp://host/{z}/{x}/{y}").isEmpty());
        QVERIFY(!checkTileUrl("https://host/tiles/{z}/{x}.png").isEmpty());
        QVERIFY(!checkTileUrl("not a url {z}{x}{y}").isEmpty());
        TileFetcher f;
        TileNetworkSettings s;
        s.urlTemplate = "https://a.example/{z}/{x}/{y}.png?k=1";
        f.configure(s);
        QCOMPARE(f.urlOf(12, 1171, 1566), QString("https://a.example/12/1171/1566.png?k=1"));
        s.urlTemplate = "https://a.example/{z}/{x}.png";  // unusable: no network tiles at all
        f.configure(s);
        QVERIFY(!f.enabled());
    }
};

QTEST_MAIN(MapNetworkTest)
#include "map_network_test.moc"
