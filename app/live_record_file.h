// openLiveRecordFile: the record file of live decoding, "Rec_dd-MMM-yyyy-hhmmss.txt" from the
// UTC time. It goes into the preferred folder (the executable's) when a file can be created
// there, otherwise into the fallback folder (the user's data folder), which is created if
// needed. A trace line names the file either way, or says that neither folder took it.
#pragma once

#include <QDateTime>
#include <QString>

class QFile;
class QObject;

namespace nimbra {

QString liveRecordFileName(const QDateTime& utc);
// The file is opened write-only and truncated; it may be closed when both folders failed.
QFile* openLiveRecordFile(const QString& preferredDir, const QString& fallbackDir,
                          const QDateTime& utc, QObject* parent);

}  // namespace nimbra
