// TileServer: a map tile server on 127.0.0.1 for the track view's tests, benchmark and pictures.
// It draws its own tiles (a light ground, a grid of "roads" whose spacing follows the zoom, the
// tile's numbers), records every request with its headers, and answers as told: after a delay,
// with an error status, with cache headers (max-age, an ETag it honours with 304).
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

class TileServer : public QObject {
    Q_OBJECT

public:
    struct Request {
        QString path;
        QHash<QByteArray, QByteArray> headers;  // lower-case names
    };

    explicit TileServer(QObject* parent = nullptr);

    bool listen();
    quint16 port() const { return server_.serverPort(); }
    // "http://127.0.0.1:PORT/tiles/{z}/{x}/{y}.png"
    QString urlTemplate() const;

    int delayMs = 0;
    int status = 200;            // what every answer says (200, 404, 500, ...)
    int maxAgeS = 3600;          // Cache-Control: max-age; 0 with an ETag: revalidate each time
    bool etag = true;

    const QList<Request>& requests() const { return requests_; }
    int maxConcurrent() const { return maxConcurrent_; }
    int notModified() const { return notModified_; }
    void clear();

    // The PNG this server sends for a tile.
    static QByteArray tilePng(int z, int x, int y);

private:
    void serve(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const Request& request);

    QTcpServer server_;
    QList<Request> requests_;
    int open_ = 0;
    int maxConcurrent_ = 0;
    int notModified_ = 0;
};
