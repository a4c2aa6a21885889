#include "app/track_export.h"

#include <QFile>

#include <string>

#include "formats/pending_file.h"

namespace nimbra {

TrackFormat trackFormatFor(const QString& path)
{
    return path.endsWith(QStringLiteral(".kml"), Qt::CaseInsensitive) ? TrackFormat::Kml : TrackFormat::Gpx;
}

bool writeTrack(const QString& path, const std::vector<FlightFix>& fixes,
                const formats::Station& station, QString& error)
{
    std::string message;
    formats::PendingFile file;
    const std::string target = QFile::encodeName(path).toStdString();
    if (file.open(target, message)) {
        const std::string document = trackFormatFor(path) == TrackFormat::Kml
                                         ? formats::kmlDocument(fixes, station)
                                         : formats::gpxDocument(fixes, station);
        if (file.commit(document, message))
            return true;
    }
    error = QString::fromLocal8Bit(message.data(), static_cast<qsizetype>(message.size()));
    return false;
}

}  // namespace nimbra
