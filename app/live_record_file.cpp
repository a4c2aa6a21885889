#include "app/live_record_file.h"

#include <QDebug>
#include <QDir>
#include <QFile>

namespace nimbra {

QString liveRecordFileName(const QDateTime& utc)
{
    // Letters such as 't' are format codes, so only the date and time go through the pattern.
    return QStringLiteral("Rec_") + utc.toString(QStringLiteral("dd-MMM-yyyy-hhmmss")) +
           QStringLiteral(".txt");
}

QFile* openLiveRecordFile(const QString& preferredDir, const QString& fallbackDir,
                          const QDateTime& utc, QObject* parent)
{
    const QString name = liveRecordFileName(utc);
    auto* file = new QFile(QDir(preferredDir).filePath(name), parent);
    QFile::remove(file->fileName());
    if (file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qDebug() << "Record file:" << file->fileName();
        return file;
    }
    const QString refused = file->fileName();
    QDir().mkpath(fallbackDir);
    file->setFileName(QDir(fallbackDir).filePath(name));
    QFile::remove(file->fileName());
    if (file->open(QIODevice::WriteOnly | QIODevice::Truncate))
        qDebug() << "Record file:" << file->fileName() << "(cannot write" << refused << ")";
    else
        qDebug() << "Cannot open a record file: neither" << refused << "nor" << file->fileName()
                 << "can be written; decoded text is not recorded";
    return file;
}

}  // namespace nimbra
