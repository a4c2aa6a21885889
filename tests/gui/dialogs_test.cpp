// The setup and about dialogs.
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>

#include "app/about_dialog.h"
#include "app/sdr_input_settings.h"
#include "app/setup_dialog.h"
#include "app/station_config.h"
#include "app/station_settings.h"
#include "demod/decoder_parameters.h"
#include "test_support.h"

using namespace nimbra;

namespace {

// The parameters the dialogs edit, as a window hands its decoder's to them.
DecoderParameters& params()
{
    static DecoderParameters parameters;
    return parameters;
}

QLineEdit* edit(QDialog& dialog, const char* name)
{
    return dialog.findChild<QLineEdit*>(QString::fromLatin1(name));
}

QPushButton* okButton(QDialog& dialog)
{
    return dialog.findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok);
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateUserFolders(); }
    void init() { params() = DecoderParameters{}; }

    void setupShowsValuesAsShortestNumbers()
    {
        params().maxRange = 250.0f;
        params().userAlt = 1.0e6f;
        params().displayCalibrationData = 1;
        SetupDialog dialog(params());
        QCOMPARE(dialog.windowTitle(), QString("Dialog"));
        QCOMPARE(dialog.size(), QSize(796, 371));
        QCOMPARE(edit(dialog, "lineEdit_latitude")->text(), QString("39.75"));
        QCOMPARE(edit(dialog, "lineEdit_longitude")->text(), QString("-76.98"));
        QCOMPARE(edit(dialog, "lineEdit_altitude")->text(), QString("1e+06"));
        QCOMPARE(edit(dialog, "lineEdit_range")->text(), QString("250"));
        QVERIFY(!dialog.findChild<QCheckBox*>("checkBoxPsuData")->isChecked());
        QVERIFY(dialog.findChild<QCheckBox*>("checkBoxCalibrationData")->isChecked());
        QVERIFY(okButton(dialog)->isEnabled());
    }

    void okStoresSixSignificantDigitsAndSignals()
    {
        params().userLat = 39.123456f;
        params().soundInputDeviceIndex = 5;  // not in the (empty) device list
        auto* dialog = new SetupDialog(params());
        QPointer<SetupDialog> guard(dialog);
        QSignalSpy changed(dialog, &SetupDialog::ConfigWasChanged_mainwindow);
        QCOMPARE(dialog->findChild<QComboBox*>("comboBoxSndIn")->currentIndex(), -1);
        dialog->findChild<QCheckBox*>("checkBoxPsuData")->setChecked(true);
        edit(*dialog, "lineEdit_range")->setText(" 123.5 ");
        QTest::mouseClick(okButton(*dialog), Qt::LeftButton);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(params().userLat.load(), 39.1235f);
        QCOMPARE(params().userLon.load(), -76.98f);
        QCOMPARE(params().maxRange.load(), 123.5f);
        QCOMPARE(params().displayPsuData.load(), 1);
        QCOMPARE(params().soundInputDeviceIndex.load(), -1);  // nothing selected
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(guard.isNull());  // deleted on close
    }

    void cancelStoresNothing()
    {
        auto* dialog = new SetupDialog(params());
        QSignalSpy changed(dialog, &SetupDialog::ConfigWasChanged_mainwindow);
        edit(*dialog, "lineEdit_latitude")->setText("12");
        dialog->findChild<QCheckBox*>("checkBoxPsuData")->setChecked(true);
        QTest::mouseClick(dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Cancel),
                          Qt::LeftButton);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(params().userLat.load(), 39.75f);
        QCOMPARE(params().displayPsuData.load(), 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void textThatIsNotANumberBlocksOk()
    {
        SetupDialog dialog(params());
        QLineEdit* latitude = edit(dialog, "lineEdit_latitude");
        for (const char* bad : {"39,75", "north", "", "1.2.3", "inf", "nan"}) {
            latitude->setText(QString::fromLatin1(bad));
            QVERIFY2(!okButton(dialog)->isEnabled(), bad);
            QVERIFY2(latitude->property("invalid").toBool(), bad);
        }
        // Other fields are not marked for this one's mistake.
        QVERIFY(!edit(dialog, "lineEdit_longitude")->property("invalid").toBool());
        latitude->setText("1e39");  // beyond a float
        QVERIFY(!okButton(dialog)->isEnabled());
        latitude->setText("-1e1");
        QVERIFY(okButton(dialog)->isEnabled());
        QVERIFY(!latitude->property("invalid").toBool());
        QCOMPARE(latitude->styleSheet(), QString());
    }

    void theStationTabsStoreOnOkAndKeepTheFormOnTheLeftAsItWas()
    {
        clearSettingsStore();
        auto* dialog = new SetupDialog(params());
        // The form of the left half stands where it stood; the station's tabs sit beside it.
        QCOMPARE(dialog->findChild<QDialogButtonBox*>("buttonBox")->geometry(), QRect(50, 330, 341, 32));
        QWidget* right = dialog->findChild<QWidget*>("widget_station");
        QVERIFY(right->geometry().left() >= 400);
        QTabWidget* tabs = dialog->stationConfig()->tabs();
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->tabText(0), QString("Input"));
        QCOMPARE(tabs->tabText(1), QString("Position"));
        QVERIFY(dialog->findChild<QRadioButton*>("radioButton_typedPosition")->isChecked());
        QVERIFY(!edit(*dialog, "lineEdit_gpsdHost")->isEnabled());
        dialog->findChild<QRadioButton*>("radioButton_gpsPosition")->setChecked(true);
        QVERIFY(edit(*dialog, "lineEdit_gpsdHost")->isEnabled());
        edit(*dialog, "lineEdit_gpsdHost")->setText(" car.local ");
        dialog->findChild<QSpinBox*>("spinBox_gpsdPort")->setValue(2948);
        dialog->findChild<QCheckBox*>("checkBox_rotator")->setChecked(true);
        edit(*dialog, "lineEdit_rotatorHost")->setText("shack");
        dialog->findChild<QDoubleSpinBox*>("doubleSpinBox_threshold")->setValue(2.5);
        dialog->findChild<QCheckBox*>("checkBox_home")->setChecked(true);
        dialog->findChild<QDoubleSpinBox*>("doubleSpinBox_homeAzimuth")->setValue(180.0);
        QTest::mouseClick(okButton(*dialog), Qt::LeftButton);
        const StationSettings s = StationSettings::load();
        QVERIFY(s.positionFromGps);
        QCOMPARE(s.gpsdHost, QString("car.local"));
        QCOMPARE(s.gpsdPort, 2948);
        QVERIFY(s.rotatorOn);
        QCOMPARE(s.rotatorHost, QString("shack"));
        QCOMPARE(s.thresholdDeg, 2.5);
        QVERIFY(s.homeOn);
        QCOMPARE(s.rotatorSettings().homeAfterS, 600.0);
        QCOMPARE(s.rotatorSettings().homeAzimuth, 180.0);
        // The typed-in position is not touched by the GPS's settings.
        QCOMPARE(params().userLat.load(), 39.75f);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        // Cancel stores nothing.
        auto* again = new SetupDialog(params());
        QVERIFY(again->findChild<QRadioButton*>("radioButton_gpsPosition")->isChecked());
        again->findChild<QRadioButton*>("radioButton_typedPosition")->setChecked(true);
        QTest::mouseClick(again->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Cancel),
                          Qt::LeftButton);
        QVERIFY(StationSettings::load().positionFromGps);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The Input tab: a radio's fields only count when a radio is chosen; what they hold is kept
    // under [SDR].
    void theInputTabStoresTheRadioUnderItsOwnGroup()
    {
        clearSettingsStore();
        auto* dialog = new SetupDialog(params());
        QComboBox* input = dialog->findChild<QComboBox*>("comboBox_input");
        QCOMPARE(input->currentIndex(), 0);
        QVERIFY(!edit(*dialog, "lineEdit_frequency")->isEnabled());
        edit(*dialog, "lineEdit_frequency")->setText("nonsense");
        QVERIFY(okButton(*dialog)->isEnabled());  // the sound card needs no frequency

        input->setCurrentIndex(2);  // rtl_tcp
        QVERIFY(!okButton(*dialog)->isEnabled());
        QVERIFY(edit(*dialog, "lineEdit_frequency")->property("invalid").toBool());
        edit(*dialog, "lineEdit_frequency")->setText("1679.5M");
        edit(*dialog, "lineEdit_rtlTcp")->setText("pi.local:port");
        QVERIFY(!okButton(*dialog)->isEnabled());
        edit(*dialog, "lineEdit_rtlTcp")->setText(" pi.local:1235 ");
        QVERIFY(okButton(*dialog)->isEnabled());
        dialog->findChild<QCheckBox*>("checkBox_gainAuto")->setChecked(false);
        QVERIFY(dialog->findChild<QDoubleSpinBox*>("doubleSpinBox_gain")->isEnabled());
        dialog->findChild<QDoubleSpinBox*>("doubleSpinBox_gain")->setValue(38.6);
        dialog->findChild<QSpinBox*>("spinBox_ppm")->setValue(-3);
        dialog->findChild<QCheckBox*>("checkBox_biasTee")->setChecked(true);
        QTest::mouseClick(okButton(*dialog), Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        const SdrInputSettings s = SdrInputSettings::load();
        QCOMPARE(s.source, SdrInputSettings::Source::RtlTcp);
        QCOMPARE(s.rtlTcpAddress, QString("pi.local:1235"));
        QCOMPARE(s.frequencyHz, 1679.5e6);
        QVERIFY(!s.gainAuto);
        QCOMPARE(s.gainDb, 38.6);
        QCOMPARE(s.ppm, -3);
        QVERIFY(s.biasTee);
        QSettings store("org.nimbra-project", "Nimbra");
        QCOMPARE(store.value("SDR/input").toString(), QString("rtl_tcp"));
        QCOMPARE(store.value("SDR/rtlTcp").toString(), QString("pi.local:1235"));
    }

    void aHostThatCannotBeUsedBlocksOkWhileItsPartIsOn()
    {
        clearSettingsStore();
        SetupDialog dialog(params());
        dialog.findChild<QCheckBox*>("checkBox_rotator")->setChecked(true);
        QLineEdit* host = edit(dialog, "lineEdit_rotatorHost");
        for (const char* bad : {"", "my shack", "http://shack"}) {
            host->setText(QString::fromLatin1(bad));
            QVERIFY2(!okButton(dialog)->isEnabled(), bad);
            QVERIFY2(host->property("invalid").toBool(), bad);
        }
        // Switched off, the field no longer matters; the stored host stays.
        dialog.findChild<QCheckBox*>("checkBox_rotator")->setChecked(false);
        QVERIFY(okButton(dialog)->isEnabled());
        QCOMPARE(dialog.stationConfig()->settings().rotatorHost, QString("localhost"));
    }

    void damagedStationSettingsReadAsTheirDefaults()
    {
        clearSettingsStore();
        {
            QSettings store("org.nimbra-project", "Nimbra");
            store.setValue("Station/gpsdPort", "seventy");
            store.setValue("Station/gpsdHost", "a b");
            store.setValue("Rotator/port", 70000);
            store.setValue("Rotator/threshold", -3);
            store.setValue("Rotator/interval", "nan");
            store.setValue("Rotator/homeElevation", 95);
        }
        const StationSettings s = StationSettings::load();
        const StationSettings d;
        QCOMPARE(s.gpsdPort, d.gpsdPort);
        QCOMPARE(s.gpsdHost, d.gpsdHost);
        QCOMPARE(s.rotatorPort, d.rotatorPort);
        QCOMPARE(s.thresholdDeg, d.thresholdDeg);
        QCOMPARE(s.intervalS, d.intervalS);
        QCOMPARE(s.homeElevation, d.homeElevation);
    }

    void aboutDialogTellsWhatIsDecoded()
    {
        auto* dialog = new AboutDialog;
        QPointer<AboutDialog> guard(dialog);
        QCOMPARE(dialog->windowTitle(), QString("Dialog"));
        QCOMPARE(dialog->size(), QSize(400, 263));
        const QString text = dialog->findChild<QLabel*>("label_2")->text();
        QVERIFY(text.startsWith("Nimbra decodes Mark IIa Radiosondes which transmit on 1676, 1678, 1680, and 1682 MHz."));
        QVERIFY(dialog->findChild<QLabel*>("label_2")->wordWrap());
        QVERIFY(dialog->findChild<QLabel*>("label")->text().contains("Nimbra"));
        dialog->show();
        QTest::mouseClick(dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Cancel),
                          Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(guard.isNull());
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
