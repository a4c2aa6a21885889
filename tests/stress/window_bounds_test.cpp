// The main window against a damaged settings store and against days of decoded lines:
// nonsense stored values reach the controls clamped, through defined conversions only, and the
// decoded-text pane keeps a bounded number of the newest lines.
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QtTest>

#include <cstdio>
#include <memory>

#include "app/main_window.h"
#include "app/settings.h"
#include "decoder/decoder.h"

using namespace nimbra;

namespace {

template <typename T>
T* child(QObject& window, const char* name)
{
    T* object = window.findChild<T*>(QString::fromLatin1(name));
    if (!object)
        qFatal("no child %s", name);
    return object;
}

void writeStore(const QByteArray& keys)
{
    QSettings store(QString::fromLatin1(kOrganization), QString::fromLatin1(kApplication));
    const QString path = store.fileName();
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[General]\nsettingsAreOK=1\nautoThreshold=0\n" + keys);
}

QString lineText(int n)
{
    char buf[80];
    std::snprintf(buf, sizeof buf, "07 Dec 2026 10:00:00 1A2B %d 39.75000N 76.98000W 220", n);
    return QString::fromLatin1(buf);
}

}  // namespace

class WindowBoundsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        static QTemporaryDir folder;
        QVERIFY(folder.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.filePath("config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(folder.filePath("data")));
    }

    // A damaged store: the pattern-samples box and the threshold box show clamped values, as the
    // boxes clamp what they are given, and nothing undefined happens on the way.
    void nonsenseStoredValuesReachTheControlsClamped_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("patternSamples");
        QTest::addColumn<int>("threshold");
        QTest::newRow("in range") << QByteArray("samplesPerBit=5.25\nthreshold=1234\n") << 5250 << 1234;
        // 5.2 is 5.19999981 as a float: 5199.9998 truncates to 5199.
        QTest::newRow("truncated") << QByteArray("samplesPerBit=5.2\nthreshold=12.7\n") << 5199 << 12;
        QTest::newRow("zero") << QByteArray("samplesPerBit=0\nthreshold=0\n") << 4000 << 0;
        QTest::newRow("NaN") << QByteArray("samplesPerBit=nan\nthreshold=nan\n") << 4000 << 0;
        QTest::newRow("huge") << QByteArray("samplesPerBit=1e30\nthreshold=1e40\n") << 6000 << 32767;
        QTest::newRow("minus huge")
            << QByteArray("samplesPerBit=-1e30\nthreshold=-1e40\n") << 4000 << 0;
        QTest::newRow("infinite") << QByteArray("samplesPerBit=inf\nthreshold=inf\n") << 6000 << 32767;
        QTest::newRow("text") << QByteArray("samplesPerBit=fast\nthreshold=high\n") << 4000 << 0;
    }

    void nonsenseStoredValuesReachTheControlsClamped()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, patternSamples);
        QFETCH(int, threshold);
        writeStore(stored);
        MainWindow window;
        QCOMPARE(child<QSpinBox>(window, "spinBoxPatternSamples")->value(), patternSamples);
        QCOMPARE(child<QSpinBox>(window, "spinBoxThreshold")->value(), threshold);
    }

    // Days of lines: the pane keeps between 20,000 and 22,000 of the newest, whole and in order.
    void thePaneKeepsABoundedNumberOfTheNewestLines()
    {
        writeStore("");
        MainWindow window;
        QTextBrowser* pane = child<QTextBrowser>(window, "packetTextBrowser");
        const int total = 50000;
        for (int n = 0; n < total;) {
            std::string text;
            for (int k = 0; k < 500; ++k, ++n)
                text += lineText(n).toStdString() + "\r";
            window.decoder().decodedDisplayText.append(text);
            QVERIFY(QMetaObject::invokeMethod(&window, "AppendDecodeText", Qt::DirectConnection));
        }
        const QTextDocument* doc = pane->document();
        QVERIFY2(doc->blockCount() >= 20000 && doc->blockCount() <= 22000,
                 qPrintable(QString::number(doc->blockCount())));
        QCOMPARE(doc->lastBlock().text(), lineText(total - 1));
        QCOMPARE(doc->firstBlock().text(), lineText(total - doc->blockCount()));
    }
};

QTEST_MAIN(WindowBoundsTest)
#include "window_bounds_test.moc"
