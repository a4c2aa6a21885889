// The program decoding live audio end to end: a synthesized flight played into the test
// server's sink, captured on the device chosen in the setup dialog and decoded by the periodic
// loop, gives the lines that nimbra-decode prints for the same file.
#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include "app/main_window.h"
#include "app/status_messages.h"
#include "app/setup_dialog.h"
#include "decoder/decoder.h"
#include "live_support.h"
#include "sources/sound_in.h"
#include "test_support.h"

using namespace nimbra;

class LiveDecodeTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;

private slots:
    void initTestCase()
    {
        if (!liveDecodingUnavailable().isEmpty())
            QSKIP(qPrintable(liveDecodingUnavailable()));
        isolateUserFolders();
        clearSettingsStore();
    }

    void flightPlayedIntoTheSinkIsDecodedLive()
    {
        const QString flight = dir_.filePath("flight.wav");
        QVERIFY(synthesizeFlight(flight, 12));
        const QStringList expected = referenceLines(flight, false);
        QVERIFY(expected.size() >= 10);

        // Choosing a device in the setup dialog restarts capture on it: first the other device,
        // then the one the flight is played into.
        MainWindow window;
        auto* soundIn = window.findChild<CSoundIn*>();
        QVERIFY(soundIn);
        auto* statusBar = window.findChild<QStatusBar*>("statusBar");
        window.statusMessages().set(StatusMessages::Capture, "an old failure");
        window.statusMessages().set(StatusMessages::File, "a recording that could not be read");
        for (const QString& description : {QString("OtherSinkInput"), QString("TestSinkInput")}) {
            window.findChild<QAction*>("actionConfig")->trigger();
            auto* dialog = window.findChild<SetupDialog*>();
            QVERIFY(dialog);
            const int chosen = inputIndex(description);
            dialog->findChild<QComboBox*>("comboBoxSndIn")->setCurrentIndex(chosen);
            QTest::mouseClick(dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok),
                              Qt::LeftButton);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCOMPARE(window.decoder().params.soundInputDeviceIndex.load(), chosen);
            QVERIFY(soundIn->capturing());
            QCOMPARE(soundIn->device().description(), description);
            // A start that works clears the capture failure, and only that.
            QCOMPARE(statusBar->currentMessage(), QString("a recording that could not be read"));
        }

        // Wait for the first audio and for the queue to have primed, so that nothing played is
        // thrown away.
        QTRY_VERIFY_WITH_TIMEOUT(soundIn->bytesCaptured() > 0, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!soundIn->queue().priming(), 10000);

        auto* pane = window.findChild<QTextBrowser*>("packetTextBrowser");
        pane->clear();
        QProcess player;
        startPlaying(player, flight, "testsink");
        QTRY_VERIFY_WITH_TIMEOUT(player.state() == QProcess::NotRunning, 60000);
        QCOMPARE(player.exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(linesWithoutTimeStamps(pane->toPlainText()).size(), expected.size(), 10000);
        QCOMPARE(linesWithoutTimeStamps(pane->toPlainText()), expected);
    }
};

QTEST_MAIN(LiveDecodeTest)
#include "live_decode_test.moc"
