#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

void isolateUserFolders()
{
    static QTemporaryDir folder;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.filePath("config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(folder.filePath("data")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(folder.filePath("cache")));
    const QString runtime = folder.filePath("runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
}

void clearSettingsStore()
{
    QSettings s("org.nimbra-project", "Nimbra");
    s.clear();
    s.sync();
}

QByteArray runProgram(const QString& program, const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C");
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        qWarning() << program << arguments << "failed:" << process.readAllStandardError();
        return QByteArray();
    }
    return process.readAllStandardOutput();
}

bool synthesizeFlight(const QString& path, int seconds, const QStringList& extra)
{
    QStringList args{"--duration", QString::number(seconds), "--seed", "7"};
    args << extra << path;
    QProcess process;
    process.start(QStringLiteral(NIMBRA_SYNTH), args);
    return process.waitForFinished(60000) && process.exitCode() == 0 && QFile::exists(path);
}

QStringList linesWithoutTimeStamps(const QString& text)
{
    QStringList lines;
    for (const QString& line : text.split(QRegularExpression("[\r\n]+"), Qt::SkipEmptyParts))
        lines << line.mid(20);
    return lines;
}

QStringList referenceLines(const QString& wavePath, bool raw)
{
    QStringList args{"--quiet"};
    // The reference does not depend on the locale the test runs under.
    if (raw)
        args << "--raw";
    args << wavePath;
    return linesWithoutTimeStamps(QString::fromLatin1(runProgram(QStringLiteral(NIMBRA_DECODE), args)));
}
