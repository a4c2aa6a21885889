// The setup and about dialogs.
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include "app/about_dialog.h"
#include "app/setup_dialog.h"
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
