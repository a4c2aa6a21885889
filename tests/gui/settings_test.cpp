// The settings store: first start, restart, and what comes back from the store. Each window has
// a decoder of its own, so a new window starts from the first-run values in memory, as a new
// process would.
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QtTest>

#include "app/main_window.h"
#include "decoder/decoder.h"
#include "test_support.h"

using nimbra::MainWindow;

namespace {

template <typename T>
T* child(QWidget& window, const char* name)
{
    T* widget = window.findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

// One tick of the periodic loop, through the window's timerEvent slot.
void tick(QObject& window)
{
    QTimerEvent event(0);
    QMetaObject::invokeMethod(&window, "timerEvent", Qt::DirectConnection, Q_ARG(QTimerEvent*, &event));
}

QString storePath()
{
    return QSettings("org.nimbra-project", "Nimbra").fileName();
}

}  // namespace

class SettingsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateUserFolders(); }

    void init()
    {
        clearSettingsStore();
        QFile::remove(storePath());
    }

    void firstStartShowsFirstRunValuesAndWritesNothing()
    {
        MainWindow window;
        QCOMPARE(child<QComboBox>(window, "comboBoxDemodType")->currentText(), QString("Edge Demod"));
        QVERIFY(child<QPushButton>(window, "pushButton_autoThreshold")->isChecked());
        for (const char* name : {"pushButton_invert", "pushButton_rejectBogus", "pushButton_badCRC",
                                 "pushButton_recordDecodedText"})
            QVERIFY2(!child<QPushButton>(window, name)->isChecked(), name);
        QCOMPARE(child<QSpinBox>(window, "spinBoxPatternSamples")->value(), 4992);
        QCOMPARE(child<QSpinBox>(window, "spinBoxThreshold")->value(), 0);
        QCOMPARE(window.decoder().params.soundInputDeviceIndex.load(), 0);
        QCOMPARE(window.decoder().params.userLat.load(), 39.75f);
        QVERIFY(!QFile::exists(storePath()));
    }

    void restartRestoresEveryControlAndParameter()
    {
        {
            MainWindow window;
            child<QComboBox>(window, "comboBoxDemodType")->setCurrentIndex(2);
            for (const char* name : {"pushButton_invert", "pushButton_rejectBogus", "pushButton_badCRC"})
                child<QPushButton>(window, name)->setChecked(true);
            child<QPushButton>(window, "pushButton_autoThreshold")->setChecked(false);
            child<QSpinBox>(window, "spinBoxThreshold")->setValue(1234);
            child<QSpinBox>(window, "spinBoxPatternSamples")->setValue(4321);
            window.decoder().params.userLat = -33.8688f;
            window.decoder().params.userLon = 151.2093f;
            window.decoder().params.userAlt = 58.5f;
            window.decoder().params.maxRange = 400.0f;
            window.decoder().params.displayPsuData = 1;
            window.decoder().params.soundInputDeviceIndex = 3;
            tick(window);
            QCOMPARE(window.decoder().params.samplesPerBit.load(), 4.321f);
        }
        QCOMPARE(QSettings("org.nimbra-project", "Nimbra").value("settingsAreOK").toInt(), 1);

        MainWindow window;
        QCOMPARE(child<QComboBox>(window, "comboBoxDemodType")->currentIndex(), 2);
        for (const char* name : {"pushButton_invert", "pushButton_rejectBogus", "pushButton_badCRC"})
            QVERIFY2(child<QPushButton>(window, name)->isChecked(), name);
        QVERIFY(!child<QPushButton>(window, "pushButton_autoThreshold")->isChecked());
        QVERIFY(!child<QPushButton>(window, "pushButton_recordDecodedText")->isChecked());
        QCOMPARE(child<QSpinBox>(window, "spinBoxThreshold")->value(), 1234);
        QCOMPARE(child<QSpinBox>(window, "spinBoxPatternSamples")->value(), 4321);
        // Floats come back exactly.
        QCOMPARE(window.decoder().params.userLat.load(), -33.8688f);
        QCOMPARE(window.decoder().params.userLon.load(), 151.2093f);
        QCOMPARE(window.decoder().params.userAlt.load(), 58.5f);
        QCOMPARE(window.decoder().params.maxRange.load(), 400.0f);
        QCOMPARE(window.decoder().params.samplesPerBit.load(), 4.321f);
        QCOMPARE(window.decoder().params.displayPsuData.load(), 1);
        QCOMPARE(window.decoder().params.soundInputDeviceIndex.load(), 3);
    }

    void fractionalAutomaticThresholdComesBackWhole()
    {
        {
            MainWindow window;
            window.decoder().params.threshold = 1234.75f;  // as the automatic threshold leaves it
        }
        QCOMPARE(QSettings("org.nimbra-project", "Nimbra").value("threshold").toFloat(), 1234.75f);
        MainWindow window;
        QCOMPARE(window.decoder().params.threshold.load(), 1234.0f);
        QCOMPARE(child<QSpinBox>(window, "spinBoxThreshold")->value(), 1234);
    }

    void settingsAreOkZeroMeansFirstStart()
    {
        {
            QSettings s("org.nimbra-project", "Nimbra");
            s.setValue("settingsAreOK", 0);
            s.setValue("demodType", 2);
            s.setValue("userLat", 1.5f);
            s.setValue("autoThreshold", 0);
        }
        MainWindow window;
        QCOMPARE(child<QComboBox>(window, "comboBoxDemodType")->currentIndex(), 0);
        QVERIFY(child<QPushButton>(window, "pushButton_autoThreshold")->isChecked());
        QCOMPARE(window.decoder().params.userLat.load(), 39.75f);
    }

    void establishedStoreWithoutKeysLoadsZeros()
    {
        {
            QSettings s("org.nimbra-project", "Nimbra");
            s.setValue("settingsAreOK", 1);
            s.setValue("doFiltering", 1);
        }
        MainWindow window;
        QCOMPARE(window.decoder().params.autoThreshold.load(), 0);
        QCOMPARE(window.decoder().params.userLat.load(), 0.0f);
        QCOMPARE(window.decoder().params.userLon.load(), 0.0f);
        QCOMPARE(window.decoder().params.maxRange.load(), 0.0f);
        // The pattern box clamps 0 to its minimum, and the first tick copies that back.
        QCOMPARE(child<QSpinBox>(window, "spinBoxPatternSamples")->value(), 4000);
        tick(window);
        QCOMPARE(window.decoder().params.samplesPerBit.load(), 4.0f);
        QCOMPARE(window.decoder().params.doFiltering.load(), 1);
    }

    void doFilteringIsWrittenBackUnchanged()
    {
        {
            QSettings s("org.nimbra-project", "Nimbra");
            s.setValue("settingsAreOK", 1);
            s.setValue("doFiltering", 1);
        }
        { MainWindow window; }
        QCOMPARE(QSettings("org.nimbra-project", "Nimbra").value("doFiltering").toInt(), 1);
    }
};

QTEST_MAIN(SettingsTest)
#include "settings_test.moc"
