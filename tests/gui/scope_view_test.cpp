// The scope strip rendered to an image.
#include <QImage>
#include <QtTest>

#include "app/demod_graphics_view.h"
#include "demod/scope_buffer.h"
#include "test_support.h"

namespace {

bool isRed(QRgb c)
{
    return qRed(c) == 255 && qGreen(c) == 0 && qBlue(c) == 0;
}

bool isBlue(QRgb c)
{
    return qRed(c) == 0 && qGreen(c) == 0 && qBlue(c) == 255;
}

// Rows of column x drawn in the given colour.
QList<int> rowsOf(const QImage& image, int x, bool (*colour)(QRgb))
{
    QList<int> rows;
    for (int y = 0; y < image.height(); ++y)
        if (colour(image.pixel(x, y)))
            rows << y;
    return rows;
}

struct Scope {
    std::unique_ptr<nimbra::ScopeBuffer> buffer = std::make_unique<nimbra::ScopeBuffer>();
    nimbra::DemodGraphicsView view;

    explicit Scope(int width)
    {
        view.setScopeBuffer(buffer.get());
        view.setFrameShape(QFrame::NoFrame);
        view.resize(width, 80);
    }
    QImage render()
    {
        return view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
};

}  // namespace

class ScopeViewTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateUserFolders(); }

    void decisionsAtMinusOneGiveALineAt10()
    {
        Scope s(200);
        for (int i = 0; i < nimbra::ScopeBuffer::kSize; ++i)
            s.buffer->decision[i] = -1;
        const QImage image = s.render();
        // First segment from (0, 40) up to (0, 10), then flat at 10.
        QCOMPARE(rowsOf(image, 0, isRed).first(), 10);
        QCOMPARE(rowsOf(image, 0, isRed).last(), 40);
        QCOMPARE(rowsOf(image, 1, isRed), QList<int>{10});
        QCOMPARE(rowsOf(image, 150, isRed), QList<int>{10});
        // All samples 0: no blue trace.
        for (int x : {0, 50, 199})
            QVERIFY(rowsOf(image, x, isBlue).isEmpty());
    }

    void samplesAreScaledToTheLargestPositiveOne()
    {
        Scope s(300);
        // Flat runs so that each value's pixel stands alone in its columns.
        const int values[] = {1000, 500, 0, -1000, -2000};
        for (int k = 0; k < 5; ++k)
            for (int i = 0; i < 20; ++i)
                s.buffer->sample[k * 20 + i] = values[k];
        // Decisions away from the blue pixels of the columns looked at: red drawn later wins.
        for (int i = 0; i < nimbra::ScopeBuffer::kSize; ++i)
            s.buffer->decision[i] = i < 40 ? -1 : 1;
        s.buffer->hold = 1;
        const QImage image = s.render();
        QCOMPARE(rowsOf(image, 10, isBlue), QList<int>{70});   // 1000
        QCOMPARE(rowsOf(image, 30, isBlue), QList<int>{55});   // 500
        QCOMPARE(rowsOf(image, 50, isBlue), QList<int>{40});   // 0
        QCOMPARE(rowsOf(image, 70, isBlue), QList<int>{10});   // -1000
        QVERIFY(rowsOf(image, 90, isBlue).isEmpty());          // -2000 at -20: clipped
        // Decisions of -1 run 30 pixels above the middle line, +1 30 pixels below it.
        QCOMPARE(rowsOf(image, 10, isRed), QList<int>{10});
        QCOMPARE(rowsOf(image, 150, isRed), QList<int>{70});
        QCOMPARE(s.buffer->hold.load(), 0);  // a held capture is released once drawn
    }

    // As the form creates it, before its owner hands it a decoder's rings: nothing to draw.
    void withoutABufferNothingIsDrawn()
    {
        nimbra::DemodGraphicsView view;
        view.setFrameShape(QFrame::NoFrame);
        view.resize(100, 80);
        const QImage image = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
        for (int x : {0, 50, 99}) {
            QVERIFY(rowsOf(image, x, isRed).isEmpty());
            QVERIFY(rowsOf(image, x, isBlue).isEmpty());
        }
    }

    void onlyAsManyEntriesAsPixelColumns()
    {
        Scope s(500);
        for (int i = 0; i < nimbra::ScopeBuffer::kSize; ++i)
            s.buffer->sample[i] = i < 500 ? 100 : 30000;
        s.buffer->writeIndex = 2500;
        const QImage image = s.render();
        // Entries from 500 on are not in view: the largest is 100, drawn at 70.
        QCOMPARE(rowsOf(image, 250, isBlue), QList<int>{70});
        QCOMPARE(image.width(), 500);
    }
};

QTEST_MAIN(ScopeViewTest)
#include "scope_view_test.moc"
