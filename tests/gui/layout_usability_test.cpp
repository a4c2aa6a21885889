// The layout mends and the usability of the main window: the text pane takes the extra height,
// the scope widens with the window; tooltips, shortcuts, mnemonics, File > Quit, a fixed-width
// pane without wrapping, no empty live record file left behind; the preferences round-trip
// through the settings and reach the window.
#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabBar>
#include <QTextBrowser>
#include <QtTest>

#include "app/demod_graphics_view.h"
#include "app/desktop_panels.h"
#include "app/flight_tracking.h"
#include "app/main_window.h"
#include "app/preferences_dialog.h"
#include "app/status_messages.h"
#include "app/track_view.h"
#include "decoder/decoder.h"
#include "test_support.h"

using namespace nimbra;

namespace {

void tick(QObject& window)
{
    QTimerEvent event(0);
    QMetaObject::invokeMethod(&window, "timerEvent", Qt::DirectConnection, Q_ARG(QTimerEvent*, &event));
}

// The window alone, without the panels beside it, at the given size.
void showAlone(MainWindow& window, int width, int height)
{
    for (QDockWidget* dock : window.findChildren<QDockWidget*>())
        dock->hide();
    window.show();
    window.resize(width, height);
    QCoreApplication::processEvents();
}

}  // namespace

class LayoutUsabilityTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateUserFolders();
        clearSettingsStore();
    }

    void extraHeightGoesToTheTextPaneAndTheScopeWidens()
    {
        MainWindow window;
        auto* pane = window.findChild<QTextBrowser*>("packetTextBrowser");
        auto* scope = window.findChild<DemodGraphicsView*>("graphicsView");
        showAlone(window, 628, 506);
        QCOMPARE(window.size(), QSize(628, 506));
        const int paneAt506 = pane->height();
        const int scopeAt628 = scope->width();
        QCOMPARE(scope->height(), 80);
        window.resize(628, 806);
        QCoreApplication::processEvents();
        QCOMPARE(window.size(), QSize(628, 806));
        QCOMPARE(pane->height(), paneAt506 + 300);
        QCOMPARE(scope->height(), 80);
        // The scope spans the window and draws a ring entry per pixel column of its own.
        window.resize(1100, 806);
        QCoreApplication::processEvents();
        QVERIFY2(scope->width() > 256, qPrintable(QString::number(scope->width())));
        QVERIFY(scope->width() > scopeAt628 + 400);
        QCOMPARE(scope->height(), 80);
        // Not below the form's minimum size.
        window.resize(300, 300);
        QCoreApplication::processEvents();
        QVERIFY(window.width() >= 628 && window.height() >= 506);
    }

    void everyControlHasATooltip()
    {
        MainWindow window;
        QStringList missing;
        for (QWidget* w : window.findChildren<QWidget*>()) {
            const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
                                 qobject_cast<QComboBox*>(w) || qobject_cast<QLineEdit*>(w) ||
                                 w->objectName().startsWith("label") || w->objectName() == "graphicsView" ||
                                 w->objectName() == "packetTextBrowser";
            // Qt's own parts (dock title bars, tab bar scrolling) are not the program's controls.
            const bool qtPart = w->objectName().startsWith("qt_") || qobject_cast<QTabBar*>(w->parent());
            if (control && !w->objectName().isEmpty() && !qtPart &&
                w->toolTip().isEmpty() && !w->objectName().endsWith("Title"))
                missing << w->objectName();
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(", ")));
    }

    void shortcutsMnemonicsQuitAndTheTextPane()
    {
        MainWindow window;
        QCOMPARE(window.findChild<QAction*>("actionOpen_WAVE")->shortcut(), QKeySequence("Ctrl+O"));
        QCOMPARE(window.findChild<QAction*>("actionQuit")->shortcut(), QKeySequence("Ctrl+Q"));
        // Alt+F opens the File menu, Alt+E the Edit menu, Alt+V the View menu.
        QStringList titles;
        for (QAction* a : window.menuBar()->actions())
            titles << a->text();
        QCOMPARE(titles, (QStringList{"&File", "&Edit", "&View", "&Station"}));
        auto* view = window.findChild<QMenu*>("menuView");
        QCOMPARE(view->actions().size(), 6);  // the panels: Signal, Sky, Track, Plots, Sondes, Spectrum
        // Every menu entry has its own mnemonic within its menu.
        for (QMenu* menu : window.findChildren<QMenu*>()) {
            QSet<QChar> keys;
            for (QAction* a : menu->actions()) {
                if (a->isSeparator())
                    continue;
                const int amp = a->text().indexOf('&');
                QVERIFY2(amp >= 0, qPrintable(a->text()));
                const QChar key = a->text().at(amp + 1).toLower();
                QVERIFY2(!keys.contains(key), qPrintable(menu->title() + ": " + a->text()));
                keys.insert(key);
            }
        }
        auto* pane = window.findChild<QTextBrowser*>("packetTextBrowser");
        QVERIFY(QFontInfo(pane->font()).fixedPitch());
        QCOMPARE(pane->lineWrapMode(), QTextEdit::NoWrap);
        window.show();
        QVERIFY(window.isVisible());
        window.findChild<QAction*>("actionQuit")->trigger();
        QVERIFY(!window.isVisible());
    }

    void anEmptyLiveRecordFileIsRemovedAtExit()
    {
        QString name;
        {
            MainWindow window;
            window.decoder().params.recordDecodedText = 1;
            window.findChild<QAbstractButton*>("pushButton_recordDecodedText")->setChecked(true);
            tick(window);
            name = window.recordFileName();
            QVERIFY(QFile::exists(name));
        }
        QVERIFY2(!QFile::exists(name), qPrintable(name));
        // One with lines stays.
        {
            MainWindow window;
            window.findChild<QAbstractButton*>("pushButton_recordDecodedText")->setChecked(true);
            tick(window);
            name = window.recordFileName();
            window.decoder().decodedRecordText.append("06 Jun 2026 06:00:00 1A2B 1200 39.75000N 76.98000W 220\r");
            tick(window);
        }
        QVERIFY(QFileInfo(name).size() > 0);
        QFile::remove(name);
    }

    // Each message stands until its own cause clears it, and comes back when something else (a
    // menu entry's status tip) clears the bar.
    void statusMessagesStandTogetherAndClearByKind()
    {
        MainWindow window;
        StatusMessages& messages = window.statusMessages();
        QStatusBar* bar = window.statusBar();
        messages.set(StatusMessages::Capture, "capture failed");
        messages.set(StatusMessages::File, "file unreadable");
        QCOMPARE(bar->currentMessage(), QString("capture failed  |  file unreadable"));
        messages.clear(StatusMessages::Capture);
        QCOMPARE(bar->currentMessage(), QString("file unreadable"));
        bar->showMessage(QString());
        QCOMPARE(bar->currentMessage(), QString("file unreadable"));
        bar->clearMessage();
        QCOMPARE(bar->currentMessage(), QString("file unreadable"));
        messages.note("track written");
        QCOMPARE(bar->currentMessage(), QString("track written"));
        messages.clear(StatusMessages::File);
        QCOMPARE(bar->currentMessage(), QString());
        QCOMPARE(messages.shown(), QString());
    }

    void preferencesRoundTripThroughTheSettings()
    {
        DesktopSettings s;
        s.waveChannel = 2;
        s.tileFolder = "/srv/tiles";
        FlightTrackingSettings f;
        f.burstAltitudeM = 27500.0;
        PreferencesDialog dialog(s, f);
        QCOMPARE(dialog.findChild<QSpinBox*>("spinBoxWaveChannel")->value(), 2);
        QVERIFY(dialog.findChild<QCheckBox*>("checkBoxTrust")->isChecked());
        QCOMPARE(dialog.findChild<QSpinBox*>("spinBoxBurstAltitude")->value(), 27500);
        // Untouched, the flight fields give back what came in (also what the field cannot show).
        f.burstAltitudeM = 27500.4;
        QCOMPARE(PreferencesDialog(s, f).flightTracking().burstAltitudeM, 27500.4);
        QCOMPARE(dialog.findChild<QLineEdit*>("lineEditTileFolder")->text(), QString("/srv/tiles"));
        dialog.findChild<QSpinBox*>("spinBoxWaveChannel")->setValue(3);
        dialog.findChild<QLineEdit*>("lineEditTileFolder")->setText("  /home/me/tiles ");
        const DesktopSettings edited = dialog.settings();
        QCOMPARE(edited.waveChannel, 3);
        QCOMPARE(edited.tileFolder, QString("/home/me/tiles"));
        edited.save();
        const DesktopSettings loaded = DesktopSettings::load();
        QCOMPARE(loaded.waveChannel, 3);
        QCOMPARE(loaded.tileFolder, QString("/home/me/tiles"));
        // A new window uses them, and keeps them (and its layout) at exit.
        {
            MainWindow window;
            QCOMPARE(window.desktopSettings().waveChannel, 3);
            QCOMPARE(window.panels().trackView()->tiles().folder(), QString("/home/me/tiles"));
            window.findChild<QAction*>("actionPreferences")->trigger();
            auto* shown = window.findChild<PreferencesDialog*>();
            QVERIFY(shown);
            shown->findChild<QSpinBox*>("spinBoxWaveChannel")->setValue(1);
            shown->findChild<QLineEdit*>("lineEditTileFolder")->clear();
            QVERIFY(shown->findChild<QCheckBox*>("checkBoxTrust")->isChecked());
            shown->findChild<QCheckBox*>("checkBoxTrust")->setChecked(false);
            shown->findChild<QSpinBox*>("spinBoxBurstAltitude")->setValue(24000);
            shown->accept();
            QCOMPARE(window.desktopSettings().waveChannel, 1);
            QVERIFY(window.panels().trackView()->tiles().folder().isEmpty());
            // The tracker takes the new settings at once.
            QVERIFY(!window.panels().tracking().tracker().settings().trust);
            QCOMPARE(window.panels().tracking().tracker().settings().burstAltitudeM, 24000.0);
        }
        QCOMPARE(DesktopSettings::load().waveChannel, 1);
        QVERIFY(!LoadFlightTrackingSettings().trust);
        QCOMPARE(LoadFlightTrackingSettings().burstAltitudeM, 24000.0);
        QVERIFY(!DesktopSettings::load().windowState.isEmpty());
        // Out of range in the store: held to 1..32.
        {
            QSettings store("org.nimbra-project", "Nimbra");
            store.setValue("Desktop/waveChannel", 99);
        }
        QCOMPARE(DesktopSettings::load().waveChannel, DesktopSettings::kMaxChannel);
        clearSettingsStore();
    }
};

QTEST_MAIN(LayoutUsabilityTest)
#include "layout_usability_test.moc"
