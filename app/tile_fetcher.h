// TileFetcher: map tiles from a tile server for the track view, fetched with Qt Network in the
// background, so that the view never waits for one: a tile not here yet is drawn blank and the
// view repaints when it arrives.
//
// In:  the settings: the URL template ({z}/{x}/{y}, default the OpenStreetMap standard tiles),
//      the disk cache's size, "offline only"; from each repaint, the tiles it covers.
// Out: the tiles as pixmaps (a memory cache of decoded tiles in front of the HTTP disk cache);
//      tileArrived() when one came; the attribution to draw.
//
// A good citizen of a volunteer-run tile server: a User-Agent naming the program and its version
// ("Nimbra/1.0.0"); the HTTP disk cache (QNetworkDiskCache) answers while the server's cache
// headers say a tile is fresh and revalidates it after; at most two requests at a time; only
// tiles the view showed in its latest repaints are fetched (panning away drops the rest of the
// queue: nothing is downloaded in bulk); a tile that fails is retried after a back-off (30 s
// doubling to 10 minutes), never in a loop. Offline only: the disk cache alone answers. The
// system's proxy settings (http_proxy, https_proxy, no_proxy) are honoured.
#pragma once

#include <QCache>
#include <QHash>
#include <QObject>
#include <QPixmap>
#include <QSet>
#include <QString>

#include <deque>

class QNetworkAccessManager;
class QNetworkDiskCache;
class QNetworkReply;

namespace nimbra {

struct TileNetworkSettings {
    static constexpr const char* kDefaultUrl = "https://tile.openstreetmap.org/{z}/{x}/{y}.png";
    static constexpr const char* kDefaultAttribution = "© OpenStreetMap contributors";
    QString urlTemplate = QString::fromLatin1(kDefaultUrl);  // empty: no network tiles
    QString attribution = QString::fromUtf8(kDefaultAttribution);
    int cacheMegabytes = 200;
    bool offlineOnly = false;
};

// Empty when `text` is a usable template: http(s), with {z}, {x} and {y}; else what is wrong.
QString checkTileUrl(const QString& text);

class TileFetcher : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxInFlight = 2;
    static constexpr int kMemoryMegabytes = 64;
    static constexpr int kRetryFirstMs = 30000;
    static constexpr int kRetryMaxMs = 600000;

    explicit TileFetcher(QObject* parent = nullptr);
    ~TileFetcher() override;

    void configure(const TileNetworkSettings& settings);
    const TileNetworkSettings& settings() const { return settings_; }
    bool enabled() const { return !settings_.urlTemplate.isEmpty(); }

    // A repaint begins: the tiles it asks for are the ones wanted now.
    void beginPaint();
    // The tile when it is here; else null, and it is asked for.
    const QPixmap* tile(int z, int x, int y);
    QString urlOf(int z, int x, int y) const;

    // For tests and the status: requests sent, tiles that failed.
    int requestsSent() const { return sent_; }
    int failures() const { return failures_; }
    int inFlight() const { return inFlight_.size(); }

signals:
    void tileArrived();

private:
    struct Wanted {
        QString key;
        int z, x, y;
        int paint;  // the repaint that last asked for it
    };
    struct Failure {
        qint64 retryAtMs = 0;
        int delayMs = 0;
    };
    void pump();
    void finished(QNetworkReply* reply, const QString& key);

    TileNetworkSettings settings_;
    QNetworkAccessManager* network_;
    QNetworkDiskCache* diskCache_;
    QCache<QString, QPixmap> memory_;  // cost in kilobytes
    QHash<QString, Failure> failed_;
    QSet<QString> inFlight_;
    std::deque<Wanted> queue_;  // newest first
    int paint_ = 0;
    int sent_ = 0;
    int failures_ = 0;
};

}  // namespace nimbra
