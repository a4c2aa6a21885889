// The Outputs dialog and the window's outputs: fields stored and restored through the settings
// store, OK disabled while a field of an output that is on holds invalid text, and a WAVE decode
// in the window reaching a chase-map socket, with its figures in the status bar.
#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "app/desktop_outputs.h"
#include "app/main_window.h"
#include "app/output_settings.h"
#include "app/outputs_dialog.h"
#include "app/settings.h"
#include "test_support.h"
#include "tests/outputs/local_sockets.h"

using namespace nimbra;

namespace {

template <typename T>
T* child(QWidget& parent, const char* name)
{
    T* widget = parent.findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

QLineEdit* edit(QWidget& dialog, const char* name) { return child<QLineEdit>(dialog, name); }
QGroupBox* box(QWidget& dialog, const char* name) { return child<QGroupBox>(dialog, name); }

QPushButton* okButton(QWidget& dialog)
{
    return child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok);
}

QSettings store()
{
    return QSettings(QString::fromLatin1(kOrganization), QString::fromLatin1(kApplication));
}

}  // namespace

class OutputsDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateUserFolders(); }
    void init() { store().remove(QStringLiteral("Outputs")); }

    void everythingIsOffAtFirst()
    {
        OutputsDialog dialog(OutputSettings::load());
        for (const char* name : {"groupBoxUdp", "groupBoxSondeHub", "groupBoxMqtt", "groupBoxLiveKml"})
            QVERIFY(!box(dialog, name)->isChecked());
        QCOMPARE(edit(dialog, "lineEdit_udpAddress")->text(), QString("127.0.0.1:55673"));
        QCOMPARE(edit(dialog, "lineEdit_sondehubUrl")->text(), QString("https://api.v2.sondehub.org/sondes/telemetry"));
        QCOMPARE(edit(dialog, "lineEdit_manufacturer")->text(), QString("Mark IIa"));
        QCOMPARE(edit(dialog, "lineEdit_sondeType")->text(), QString("Mark IIa"));
        QCOMPARE(edit(dialog, "lineEdit_serial")->text(), QString("{id}"));
        QVERIFY(okButton(dialog)->isEnabled());
        QVERIFY(!OutputSettings::load().anyEnabled());
    }

    void fieldsAreStoredAndRestored()
    {
        QTemporaryDir folder;
        const QString kml = folder.filePath("live.kml");
        auto* dialog = new OutputsDialog(OutputSettings::load());
        QPointer<OutputsDialog> guard(dialog);
        QSignalSpy changed(dialog, &OutputsDialog::outputsChanged);
        box(*dialog, "groupBoxUdp")->setChecked(true);
        edit(*dialog, "lineEdit_udpAddress")->setText("192.168.1.255:55673");
        box(*dialog, "groupBoxSondeHub")->setChecked(true);
        edit(*dialog, "lineEdit_sondehubCallsign")->setText(" N0CALL ");
        edit(*dialog, "lineEdit_sondehubUrl")->setText("http://127.0.0.1:8080/");
        edit(*dialog, "lineEdit_sondehubSpool")->setText(folder.filePath("spool"));
        child<QDoubleSpinBox>(*dialog, "doubleSpinBox_sondehubInterval")->setValue(30);
        child<QCheckBox>(*dialog, "checkBox_shareStation")->setChecked(true);
        box(*dialog, "groupBoxMqtt")->setChecked(true);
        edit(*dialog, "lineEdit_mqttUrl")->setText("mqtt://broker.lan:1884/sondes");
        box(*dialog, "groupBoxLiveKml")->setChecked(true);
        edit(*dialog, "lineEdit_liveKmlPath")->setText(kml);
        edit(*dialog, "lineEdit_stationName")->setText("hilltop");
        edit(*dialog, "lineEdit_serial")->setText("MK-{id}");
        QVERIFY(okButton(*dialog)->isEnabled());
        QTest::mouseClick(okButton(*dialog), Qt::LeftButton);
        QCOMPARE(changed.count(), 1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(guard.isNull());  // deleted on close

        // In the store, in a group of their own.
        QSettings s = store();
        QCOMPARE(s.value("Outputs/udpAddress").toString(), QString("192.168.1.255:55673"));
        QCOMPARE(s.value("Outputs/sondehubCallsign").toString(), QString("N0CALL"));
        QCOMPARE(s.value("Outputs/mqttEnabled").toBool(), true);
        QVERIFY(!s.contains("udpAddress"));

        const OutputSettings o = OutputSettings::load();
        QVERIFY(o.udpEnabled && o.sondehubEnabled && o.mqttEnabled && o.liveKmlEnabled && o.shareStation);
        QCOMPARE(o.sondehubUrl, QString("http://127.0.0.1:8080/"));
        QCOMPARE(o.sondehubIntervalS, 30.0);
        QCOMPARE(o.liveKmlPath, kml);
        QCOMPARE(o.serialTemplate, QString("MK-{id}"));

        OutputsDialog again(o);
        QCOMPARE(edit(again, "lineEdit_mqttUrl")->text(), QString("mqtt://broker.lan:1884/sondes"));
        QCOMPARE(edit(again, "lineEdit_stationName")->text(), QString("hilltop"));
        QCOMPARE(edit(again, "lineEdit_sondehubSpool")->text(), folder.filePath("spool"));
        QVERIFY(box(again, "groupBoxLiveKml")->isChecked());
        QCOMPARE(child<QDoubleSpinBox>(again, "doubleSpinBox_sondehubInterval")->value(), 30.0);
    }

    void invalidTextDisablesOk_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("bad");
        QTest::addColumn<QString>("good");
        QTest::newRow("address without a port") << "groupBoxUdp" << "lineEdit_udpAddress" << "localhost" << "localhost:55673";
        QTest::newRow("port out of range") << "groupBoxUdp" << "lineEdit_udpAddress" << "10.0.0.1:70000" << "10.0.0.1:7000";
        QTest::newRow("not an mqtt URL") << "groupBoxMqtt" << "lineEdit_mqttUrl" << "http://broker" << "mqtt://broker";
        QTest::newRow("wildcard in the prefix") << "groupBoxMqtt" << "lineEdit_mqttUrl" << "mqtt://b/x/#" << "mqtt://b/x";
        QTest::newRow("empty callsign") << "groupBoxSondeHub" << "lineEdit_sondehubCallsign" << "" << "N0CALL";
        QTest::newRow("not an http URL") << "groupBoxSondeHub" << "lineEdit_sondehubUrl" << "ftp://x/" << "https://x/";
        QTest::newRow("missing folder") << "groupBoxLiveKml" << "lineEdit_liveKmlPath" << "/no/such/folder/live.kml" << "";
        QTest::newRow("serial with a slash") << "" << "lineEdit_serial" << "a/{id}" << "a-{id}";
        QTest::newRow("station with a plus") << "" << "lineEdit_stationName" << "a+b" << "ab";
        QTest::newRow("empty type") << "" << "lineEdit_sondeType" << "" << "X";
    }

    void invalidTextDisablesOk()
    {
        QFETCH(QString, group);
        QFETCH(QString, field);
        QFETCH(QString, bad);
        QFETCH(QString, good);
        OutputsDialog dialog(OutputSettings::load());
        edit(dialog, "lineEdit_sondehubCallsign")->setText("N0CALL");
        if (!group.isEmpty())
            box(dialog, group.toLatin1().constData())->setChecked(true);
        QLineEdit* line = edit(dialog, field.toLatin1().constData());
        line->setText(bad);
        QVERIFY(!okButton(dialog)->isEnabled());
        QVERIFY(line->property("invalid").toBool());
        QVERIFY(!line->toolTip().isEmpty());
        line->setText(good);
        QVERIFY(okButton(dialog)->isEnabled());
        QVERIFY(!line->property("invalid").toBool());
        // The text of an output that is off does not hold OK back.
        if (!group.isEmpty()) {
            line->setText(bad);
            box(dialog, group.toLatin1().constData())->setChecked(false);
            QVERIFY(okButton(dialog)->isEnabled());
        }
    }

    void cancelStoresNothingAndBrowseFillsTheFile()
    {
        auto* dialog = new OutputsDialog(OutputSettings::load());
        dialog->setFileChooser([] { return QStringLiteral("/tmp/chosen.kml"); });
        box(*dialog, "groupBoxLiveKml")->setChecked(true);
        QTest::mouseClick(child<QToolButton>(*dialog, "toolButton_liveKmlBrowse"), Qt::LeftButton);
        QCOMPARE(edit(*dialog, "lineEdit_liveKmlPath")->text(), QString("/tmp/chosen.kml"));
        box(*dialog, "groupBoxUdp")->setChecked(true);
        QTest::mouseClick(child<QDialogButtonBox>(*dialog, "buttonBox")->button(QDialogButtonBox::Cancel),
                          Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!store().contains("Outputs/udpEnabled"));
    }

    void theWindowSendsTheFixesOfAWaveDecode()
    {
        outputs::test::UdpReceiver socket;
        OutputSettings settings;
        settings.udpEnabled = true;
        settings.udpAddress = QStringLiteral("127.0.0.1:%1").arg(socket.port());
        settings.save();
        MainWindow window;
        // File > Outputs... sits right below Config.
        QMenu* file = window.findChild<QMenu*>("menuFile");
        const QList<QAction*> actions = file->actions();
        const auto config = std::find_if(actions.begin(), actions.end(),
                                         [](QAction* a) { return a->objectName() == "actionConfig"; });
        QVERIFY(config != actions.end() && config + 1 != actions.end());
        QCOMPARE((*(config + 1))->text().remove(QLatin1Char('&')), QString("Outputs..."));

        window.startFileDecode(MainWindow::testFilePath());
        QTRY_VERIFY_WITH_TIMEOUT(!window.decodeRunning(), 120000);
        // The sample flight's 90 fixes but the first two: the flight is picked up by three that agree.
        QTRY_COMPARE_WITH_TIMEOUT(socket.count(), 88, 10000);
        QLabel* status = window.findChild<QLabel*>("outputsStatus");
        QVERIFY(status);
        QTRY_COMPARE_WITH_TIMEOUT(status->text(), QString("UDP: 88 sent, 0 waiting"), 5000);
        // Each fix once: nothing more arrives after them.
        QTest::qWait(300);
        QCOMPARE(socket.count(), 88);
        QVERIFY(status->isVisible() || !window.isVisible());
    }

    void aBadStoredSettingIsShownNotStarted()
    {
        store().setValue("Outputs/mqttEnabled", true);
        store().setValue("Outputs/mqttUrl", "broker.lan");
        MainWindow window;
        QVERIFY(window.outputs().startError().startsWith("Outputs: MQTT: "));
        QTRY_VERIFY(window.findChild<QLabel*>("outputsStatus")->text().startsWith("Outputs: MQTT: "));
    }
};

QTEST_MAIN(OutputsDialogTest)
#include "outputs_dialog_test.moc"
