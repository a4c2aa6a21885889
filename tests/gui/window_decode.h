// A WAVE decode in a test's main window, for the tests of what the window makes of the fixes.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QTest>

#include "app/desktop_panels.h"
#include "app/main_window.h"

// Decodes the file in the window and lets the fix feed and one tick of the panels catch up;
// false when the decode did not end within two minutes.
inline bool decodeInWindow(nimbra::MainWindow& window, const QString& path)
{
    window.startFileDecode(path);
    if (!QTest::qWaitFor([&window] { return !window.decodeRunning(); }, 120000))
        return false;
    QCoreApplication::processEvents();
    window.panels().refresh();
    return true;
}
