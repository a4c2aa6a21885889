#include "live_support.h"

#include <QAudioDevice>

#include "sources/audio_backend.h"

bool liveServerConfigured()
{
    return !qEnvironmentVariableIsEmpty("NIMBRA_PULSE_DIR") && !qEnvironmentVariableIsEmpty("NIMBRA_PULSE_SCRIPT");
}

QString liveDecodingUnavailable()
{
    if (!liveServerConfigured())
        return QStringLiteral("needs the test audio server (ctest fixture gui_pulse_start)");
    if (QStringLiteral(NIMBRA_DECODE).isEmpty())
        return QStringLiteral("nimbra-decode is not built");
    return QString();
}

bool controlServer(const QString& action)
{
    QProcess script;
    script.setProcessChannelMode(QProcess::ForwardedChannels);
    script.start("bash", {qEnvironmentVariable("NIMBRA_PULSE_SCRIPT"), action, qEnvironmentVariable("NIMBRA_PULSE_DIR")});
    return script.waitForFinished(30000) && script.exitCode() == 0;
}

void ensureServerRuns()
{
    QProcess pactl;
    pactl.start("pactl", {"info"});
    if (!pactl.waitForFinished(5000) || pactl.exitCode() != 0)
        controlServer("start");
}

bool waitForAudioBackend()
{
    return nimbra::AudioBackend::instance().waitUntilReady(15000);
}

int inputIndex(const QString& description)
{
    const QList<QAudioDevice> devices = nimbra::AudioBackend::instance().inputs();
    for (int i = 0; i < devices.size(); ++i)
        if (devices[i].description() == description)
            return i;
    return -1;
}

namespace {

bool pactl(const QStringList& arguments, QByteArray* output = nullptr)
{
    QProcess process;
    process.start("pactl", arguments);
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        return false;
    if (output)
        *output = process.readAllStandardOutput();
    return true;
}

// Unloads the module that makes the remapped source of this name.
bool unloadInput(const char* sourceName)
{
    QByteArray modules;
    if (!pactl({"list", "short", "modules"}, &modules))
        return false;
    for (const QByteArray& line : modules.split('\n'))
        if (line.contains(QByteArray("source_name=") + sourceName))
            return pactl({"unload-module", QString::fromLatin1(line.split('\t').value(0))});
    return false;
}

bool loadInput(const QString& sinkName, const QString& description)
{
    return pactl({"load-module", "module-remap-source", "master=" + sinkName + ".monitor",
                  "source_name=" + sinkName + "_in", "source_properties=device.description=" + description});
}

}  // namespace

bool unloadTestInput()
{
    return unloadInput("testsink_in");
}

bool loadTestInput()
{
    // Qt lists the inputs in the order the server made them, and takes the first for the default:
    // the other input is made again after this one, so that the order is the fixture's again.
    unloadInput("othersink_in");
    return loadInput("testsink", "TestSinkInput") && loadInput("othersink", "OtherSinkInput") &&
           pactl({"set-default-source", "testsink_in"});
}

void startPlaying(QProcess& player, const QString& wavePath, const QString& sink)
{
    player.setProcessChannelMode(QProcess::ForwardedChannels);
    player.start("paplay", {"--device=" + sink, wavePath});
}
