#include "tile_server.h"

#include <QBuffer>
#include <QDateTime>
#include <QLocale>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>

TileServer::TileServer(QObject* parent) : QObject(parent)
{
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* s = server_.nextPendingConnection())
            serve(s);
    });
}

bool TileServer::listen() { return server_.listen(QHostAddress::LocalHost, 0); }

QString TileServer::urlTemplate() const
{
    return QStringLiteral("http://127.0.0.1:%1/tiles/{z}/{x}/{y}.png").arg(port());
}

void TileServer::clear()
{
    requests_.clear();
    maxConcurrent_ = 0;
    notModified_ = 0;
}

QByteArray TileServer::tilePng(int z, int x, int y)
{
    QImage image(256, 256, QImage::Format_RGB32);
    image.fill(QColor(0xf2, 0xef, 0xe9));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // Roads every 2^(z-8) tiles' worth of ground: the same roads at every zoom.
    const int every = z >= 12 ? 1 << std::min(4, z - 12) : 1;
    const int step = 256 / every;
    for (int i = 0; i <= every; ++i) {
        const bool major = ((x * every + i) % 4 == 0);
        p.setPen(QPen(major ? QColor(0xf9, 0xb2, 0x5c) : QColor(0xff, 0xff, 0xff), major ? 6 : 4));
        p.drawLine(i * step, 0, i * step, 256);
        const bool majorRow = ((y * every + i) % 4 == 0);
        p.setPen(QPen(majorRow ? QColor(0xf9, 0xb2, 0x5c) : QColor(0xff, 0xff, 0xff), majorRow ? 6 : 4));
        p.drawLine(0, i * step, 256, i * step);
    }
    p.setPen(QColor(0xa0, 0xa0, 0xa0));
    p.drawText(QRect(0, 0, 250, 20), Qt::AlignRight, QStringLiteral("%1/%2/%3").arg(z).arg(x).arg(y));
    p.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

void TileServer::serve(QTcpSocket* socket)
{
    auto* pending = new QByteArray;
    connect(socket, &QTcpSocket::disconnected, socket, [socket, pending] {
        delete pending;
        socket->deleteLater();
    });
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, pending] {
        pending->append(socket->readAll());
        // One request at a time on a connection (Qt keeps connections alive).
        while (true) {
            const int end = pending->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QList<QByteArray> lines = pending->left(end).split('\n');
            pending->remove(0, end + 4);
            Request r;
            r.path = QString::fromLatin1(lines.value(0).split(' ').value(1));
            for (int i = 1; i < lines.size(); ++i) {
                const int colon = lines[i].indexOf(':');
                if (colon > 0)
                    r.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
            }
            requests_.append(r);
            maxConcurrent_ = std::max(maxConcurrent_, ++open_);
            QTimer::singleShot(delayMs, socket, [this, socket, r] {
                --open_;
                answer(socket, r);
            });
        }
    });
}

void TileServer::answer(QTcpSocket* socket, const Request& r)
{
    static const QRegularExpression tilePath(QStringLiteral("^/tiles/(\\d+)/(\\d+)/(\\d+)\\.png$"));
    const auto m = tilePath.match(r.path);
    QByteArray head, body;
    const QByteArray tag = "\"" + r.path.toLatin1().toHex().left(16) + "\"";
    if (!m.hasMatch()) {
        head = "HTTP/1.1 404 Not Found\r\n";
    } else if (status != 200) {
        head = "HTTP/1.1 " + QByteArray::number(status) + " Trouble\r\n";
        body = "trouble";
    } else if (etag && r.headers.value("if-none-match") == tag) {
        head = "HTTP/1.1 304 Not Modified\r\nETag: " + tag + "\r\n";
        ++notModified_;
    } else {
        head = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\n";
        if (etag)
            head += "ETag: " + tag + "\r\n";
        body = tilePng(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    }
    head += "Date: " + QLocale::c().toString(QDateTime::currentDateTimeUtc(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'")).toLatin1() + "\r\n";
    head += "Cache-Control: max-age=" + QByteArray::number(maxAgeS) + "\r\n";
    head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n";
    socket->write(head + body);
}
