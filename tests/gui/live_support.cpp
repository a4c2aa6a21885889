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

void startPlaying(QProcess& player, const QString& wavePath, const QString& sink)
{
    player.setProcessChannelMode(QProcess::ForwardedChannels);
    player.start("paplay", {"--device=" + sink, wavePath});
}
