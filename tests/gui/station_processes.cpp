#include "station_processes.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
#include <cmath>

namespace {

QByteArray sentence(const QByteArray& body)
{
    char sum = 0;
    for (char c : body)
        sum ^= c;
    return "$" + body + "*" + QByteArray::number(static_cast<unsigned char>(sum), 16).rightJustified(2, '0').toUpper() + "\r\n";
}

QByteArray angle(double value, int degreeDigits)
{
    const double a = std::fabs(value);
    const int d = static_cast<int>(a);
    return QByteArray::number(d).rightJustified(degreeDigits, '0') +
           QByteArray::number((a - d) * 60.0, 'f', 4).rightJustified(7, '0');
}

}  // namespace

bool writeNmeaLog(const QString& path, const QList<CarEpoch>& epochs)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    for (int i = 0; i < epochs.size(); ++i) {
        const CarEpoch& e = epochs[i];
        const QByteArray t = QByteArray::number(120000 + (i / 60) * 100 + i % 60) + ".00";
        if (!e.fix) {
            f.write(sentence("GPGGA," + t + ",,,,,0,00,99.9,,M,,M,,"));
            f.write(sentence("GPRMC," + t + ",V,,,,,,,081226,,,N"));
            continue;
        }
        const QByteArray lat = angle(e.latitude, 2) + (e.latitude >= 0 ? ",N" : ",S");
        const QByteArray lon = angle(e.longitude, 3) + (e.longitude >= 0 ? ",E" : ",W");
        f.write(sentence("GPGGA," + t + "," + lat + "," + lon + ",1,09,0.9," + QByteArray::number(e.altitude, 'f', 1) +
                         ",M,0.0,M,,"));
        f.write(sentence("GPRMC," + t + ",A," + lat + "," + lon + "," + QByteArray::number(e.speedMps / 0.514444, 'f', 2) +
                         "," + QByteArray::number(e.courseDeg, 'f', 1) + ",081226,,,A"));
    }
    return f.error() == QFileDevice::NoError;
}

quint16 freeTcpPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

bool CounterpartProcess::startGpsfake(const QString& log, quint16 port, int limitS)
{
    // setsid: gpsfake and the gpsd it starts get a process group that stop() ends whole.
    return QProcess::startDetached(QStringLiteral("setsid"),
                                   {QStringLiteral("timeout"), QStringLiteral("-k"), QStringLiteral("3"),
                                    QString::number(limitS), QStringLiteral("gpsfake"), QStringLiteral("-q"),
                                    QStringLiteral("-c"), QStringLiteral("0.2"), QStringLiteral("-P"),
                                    QString::number(port), log},
                                   QString(), &pid_);
}

bool CounterpartProcess::startRotctld(quint16 port)
{
    if (!QProcess::startDetached(QStringLiteral("setsid"),
                                 {QStringLiteral("rotctld"), QStringLiteral("-m"), QStringLiteral("1"),
                                  QStringLiteral("-T"), QStringLiteral("127.0.0.1"), QStringLiteral("-t"),
                                  QString::number(port)},
                                 QString(), &pid_))
        return false;
    for (int i = 0; i < 100; ++i) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (s.waitForConnected(200))
            return true;
        QThread::msleep(50);
    }
    return false;
}

void CounterpartProcess::stop()
{
    if (pid_ > 0) {
        ::kill(-static_cast<pid_t>(pid_), SIGTERM);
        QThread::msleep(300);
        ::kill(-static_cast<pid_t>(pid_), SIGKILL);
    }
    pid_ = 0;
    // gpsfake leaves its control sockets behind when it is ended so.
    for (const QString& name : QDir(QStringLiteral("/tmp")).entryList({QStringLiteral("gpsfake-*.sock")}, QDir::System))
        if (!QDir(QStringLiteral("/proc/") + name.section(QLatin1Char('-'), 1).section(QLatin1Char('.'), 0, 0)).exists())
            QFile::remove(QStringLiteral("/tmp/") + name);
}

std::optional<std::pair<double, double>> rotatorPosition(quint16 port)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!s.waitForConnected(1000))
        return std::nullopt;
    s.write("p\n");
    QByteArray got;
    while (got.count('\n') < 2 && s.waitForReadyRead(1000))
        got += s.readAll();
    const QList<QByteArray> lines = got.split('\n');
    if (lines.size() < 2)
        return std::nullopt;
    bool ok1 = false, ok2 = false;
    const double az = lines[0].trimmed().toDouble(&ok1), el = lines[1].trimmed().toDouble(&ok2);
    if (!ok1 || !ok2)
        return std::nullopt;
    return std::pair{az, el};
}
