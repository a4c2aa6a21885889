#include "app/tile_fetcher.h"

#include <QDateTime>
#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <algorithm>

#include "outputs/software.h"

namespace nimbra {

namespace {

constexpr std::size_t kMaxQueued = 64;
constexpr int kTransferTimeoutMs = 30000;

QString keyOf(int z, int x, int y)
{
    return QStringLiteral("%1/%2/%3").arg(z).arg(x).arg(y);
}

}  // namespace

QString checkTileUrl(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return {};
    const QUrl url(QString(t).replace(QLatin1Char('{'), QLatin1Char('_')).replace(QLatin1Char('}'), QLatin1Char('_')));
    if (!url.isValid() || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")) ||
        url.host().isEmpty())
        return QStringLiteral("expected an http:// or https:// address");
    for (const char* part : {"{z}", "{x}", "{y}"})
        if (!t.contains(QLatin1String(part)))
            return QStringLiteral("the address needs {z}, {x} and {y} where the tile's numbers go");
    return {};
}

TileFetcher::TileFetcher(QObject* parent)
    : QObject(parent), network_(new QNetworkAccessManager(this)), diskCache_(new QNetworkDiskCache(this)),
      memory_(kMemoryMegabytes * 1024)
{
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    const QString folder = QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation)).filePath(QStringLiteral("tiles"));
    diskCache_->setCacheDirectory(folder);
    network_->setCache(diskCache_);
    network_->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    settings_.urlTemplate.clear();  // nothing is fetched until configure() says where from
}

TileFetcher::~TileFetcher()
{
    // Replies still running are aborted with the manager; their slots see this object no more.
    network_->disconnect(this);
    for (QNetworkReply* r : network_->findChildren<QNetworkReply*>())
        r->disconnect(this);
}

void TileFetcher::configure(const TileNetworkSettings& s)
{
    const bool sourceChanged = s.urlTemplate.trimmed() != settings_.urlTemplate || s.offlineOnly != settings_.offlineOnly;
    settings_ = s;
    settings_.urlTemplate = checkTileUrl(s.urlTemplate).isEmpty() ? s.urlTemplate.trimmed() : QString();
    diskCache_->setMaximumCacheSize(qint64(std::max(1, s.cacheMegabytes)) * 1024 * 1024);
    if (sourceChanged) {
        memory_.clear();
        failed_.clear();
        queue_.clear();
        for (QNetworkReply* r : network_->findChildren<QNetworkReply*>())
            r->abort();
        inFlight_.clear();
    }
}

QString TileFetcher::urlOf(int z, int x, int y) const
{
    QString url = settings_.urlTemplate;
    url.replace(QLatin1String("{z}"), QString::number(z));
    url.replace(QLatin1String("{x}"), QString::number(x));
    url.replace(QLatin1String("{y}"), QString::number(y));
    return url;
}

void TileFetcher::beginPaint() { ++paint_; }

const QPixmap* TileFetcher::tile(int z, int x, int y)
{
    if (!enabled())
        return nullptr;
    const QString key = keyOf(z, x, y);
    if (const QPixmap* p = memory_.object(key))
        return p;
    if (inFlight_.contains(key))
        return nullptr;
    if (const auto f = failed_.constFind(key); f != failed_.constEnd() && QDateTime::currentMSecsSinceEpoch() < f->retryAtMs)
        return nullptr;
    const auto queued = std::find_if(queue_.begin(), queue_.end(), [&](const Wanted& w) { return w.key == key; });
    if (queued != queue_.end())
        queue_.erase(queued);
    queue_.push_front({key, z, x, y, paint_});
    if (queue_.size() > kMaxQueued)
        queue_.pop_back();
    // Requests go out after the repaint, never during it.
    QTimer::singleShot(0, this, &TileFetcher::pump);
    return nullptr;
}

void TileFetcher::pump()
{
    // Only what the latest repaints showed: the view moved on from the rest.
    queue_.erase(std::remove_if(queue_.begin(), queue_.end(), [this](const Wanted& w) { return w.paint < paint_ - 1; }),
                 queue_.end());
    while (inFlight_.size() < kMaxInFlight && !queue_.empty()) {
        const Wanted w = queue_.front();
        queue_.pop_front();
        QNetworkRequest request{QUrl(urlOf(w.z, w.x, w.y))};
        request.setHeader(QNetworkRequest::UserAgentHeader,
                          QStringLiteral("%1/%2").arg(QLatin1String(outputs::kSoftwareName), QLatin1String(outputs::kSoftwareVersion)));
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                             settings_.offlineOnly ? QNetworkRequest::AlwaysCache : QNetworkRequest::PreferNetwork);
        request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, true);
        request.setTransferTimeout(kTransferTimeoutMs);
        QNetworkReply* reply = network_->get(request);
        inFlight_.insert(w.key);
        ++sent_;
        const QString key = w.key;
        connect(reply, &QNetworkReply::finished, this, [this, reply, key] { finished(reply, key); });
    }
}

void TileFetcher::finished(QNetworkReply* reply, const QString& key)
{
    reply->deleteLater();
    if (!inFlight_.remove(key))
        return;  // from before the source changed
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    QPixmap pixmap;
    const bool ok = reply->error() == QNetworkReply::NoError && (status == 0 || (status >= 200 && status < 300)) &&
                    pixmap.loadFromData(reply->readAll());
    if (ok) {
        failed_.remove(key);
        memory_.insert(key, new QPixmap(pixmap), std::max(1, pixmap.width() * pixmap.height() * 4 / 1024));
        emit tileArrived();
    } else {
        Failure& f = failed_[key];
        f.delayMs = f.delayMs == 0 ? kRetryFirstMs : std::min(kRetryMaxMs, f.delayMs * 2);
        f.retryAtMs = QDateTime::currentMSecsSinceEpoch() + f.delayMs;
        ++failures_;
    }
    pump();
}

}  // namespace nimbra
