// The track view panning at 60 frames a second over map tiles from a tile server that takes 2 s
// to answer each one (the test tile server, tests/gui/tile_server.h, on 127.0.0.1): the view
// must never wait for a tile. A frame is due every 1/60 s; each frame pans the view by a few
// pixels and paints it; tiles arrive and are decoded on the same thread between frames, as in
// the program. Prints the frames painted, the rate achieved and the paint times.
//
// Usage: track_view_pan [SECONDS] [DELAY_MS]   (offscreen: QT_QPA_PLATFORM=offscreen)
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/flight_log.h"
#include "app/tile_fetcher.h"
#include "app/track_view.h"
#include "demod/decoder_parameters.h"
#include "tile_server.h"

using namespace nimbra;

int main(int argc, char** argv)
{
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    TileServer server;
    server.delayMs = argc > 2 ? std::atoi(argv[2]) : 2000;
    if (!server.listen()) {
        std::fprintf(stderr, "track_view_pan: cannot listen on 127.0.0.1\n");
        return 1;
    }

    // A flight of an hour and a half north-east of the station, with its prediction.
    FlightLog log;
    DecoderParameters params;
    for (int i = 0; i < 5400; ++i) {
        FlightFix f;
        f.record.transmitterId = 0x1A2B;
        f.record.timeCounter = 1200 + i;
        f.record.latitude = float(39.75 + i * 0.00005);
        f.record.longitude = float(-76.98 + i * 0.00008);
        f.record.altitude = float(i < 4000 ? 220 + 5 * i : 20220 - 14 * (i - 4000));
        f.record.ascent = i < 4000 ? 5.0f : -14.0f;
        f.prediction.valid = true;
        f.prediction.landing.latitude = 40.1;
        f.prediction.landing.longitude = -76.4;
        log.add(f);
    }
    TrackView view(log, params);
    view.resize(800, 600);
    TileNetworkSettings tiles;
    tiles.urlTemplate = server.urlTemplate();
    view.setTileNetwork(tiles);
    QImage frame(view.size(), QImage::Format_RGB32);
    view.render(&frame);  // the first fit

    std::vector<double> paintMs;
    QElapsedTimer clock;
    clock.start();
    const qint64 frameNs = 1000000000 / 60;
    int late = 0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const qint64 due = qint64(paintMs.size()) * frameNs;
        if (clock.nsecsElapsed() > due + frameNs)
            ++late;  // the loop fell more than a frame behind
        QElapsedTimer t;
        t.start();
        view.panBy({-4.0, 1.5});
        view.render(&frame);
        paintMs.push_back(t.nsecsElapsed() / 1e6);
        if (clock.elapsed() >= seconds * 1000.0)
            app.quit();
    });
    timer.start(16);
    app.exec();

    const double elapsed = clock.elapsed() / 1000.0;
    std::vector<double> sorted = paintMs;
    std::sort(sorted.begin(), sorted.end());
    double sum = 0.0;
    for (double v : paintMs)
        sum += v;
    auto at = [&](double q) { return sorted[std::min(sorted.size() - 1, std::size_t(q * sorted.size()))]; };
    std::printf("track view panning over a tile server answering in %d ms (800 x 600, %zu tiles fetched)\n",
                server.delayMs, std::size_t(view.tileNetwork().requestsSent()));
    std::printf("frames %zu in %.1f s: %.1f frames/s; frames that fell behind %d\n", paintMs.size(), elapsed,
                paintMs.size() / elapsed, late);
    std::printf("paint ms: mean %.2f, median %.2f, 95%% %.2f, 99%% %.2f, max %.2f (a frame has 16.7)\n",
                sum / paintMs.size(), at(0.5), at(0.95), at(0.99), sorted.back());
    return 0;
}
