// Helpers of the live-capture tests, which run against the private audio server that the
// "pulse" test fixture starts (pulse_test_server.sh).
#pragma once

#include <QProcess>
#include <QString>

// True when the fixture's server is named in the environment.
bool liveServerConfigured();
// Why a test that decodes live audio cannot run here (no test server, no nimbra-decode for the
// reference lines), or an empty string when it can.
QString liveDecodingUnavailable();
// Runs the fixture script: "start" or "stop".
bool controlServer(const QString& action);
// Starts the server again if it does not answer (after a test that stopped it failed).
void ensureServerRuns();
// Waits until the process's audio backend has opened Qt's audio (the test server answers). Qt's
// audio must not be touched before (no QMediaDevices in the tests): see AudioBackend.
bool waitForAudioBackend();
// Position of the input device with this description in Qt's input list, or -1.
int inputIndex(const QString& description);
// Unloads the module that makes TestSinkInput (the device goes away); false when it cannot.
bool unloadTestInput();
// Loads it again and makes it the default input again, as the fixture had it.
bool loadTestInput();
// Starts paplay of a WAVE file into a sink; the caller waits for it to end.
void startPlaying(QProcess& player, const QString& wavePath, const QString& sink);
