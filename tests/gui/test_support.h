// Helpers shared by the desktop program's tests.
#pragma once

#include <QString>
#include <QStringList>

// Points the settings store and the data folder at a fresh temporary folder for this process.
// Call before the first QSettings is made (initTestCase).
void isolateUserFolders();
// Removes the settings store's file, so that the next window starts as on a first start.
void clearSettingsStore();
// Runs a program and returns its standard output; fails the test on a non-zero exit.
QByteArray runProgram(const QString& program, const QStringList& arguments);
// Writes a synthesized flight (mono, 16-bit, 48 kHz) of the given seconds.
bool synthesizeFlight(const QString& path, int seconds, const QStringList& extra = {});
// Decoded-text lines without their 20-character time stamp (the time of decoding).
QStringList linesWithoutTimeStamps(const QString& text);
// The lines that nimbra-decode prints for a recording, without time stamps.
QStringList referenceLines(const QString& wavePath, bool raw);
