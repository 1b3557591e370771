#include "shell/windowgeometry.h"

#include <QTest>

using namespace FramelessGeometry;

class TestWindowGeometry : public QObject
{
    Q_OBJECT

private slots:
    void hitTest_data();
    void hitTest();
    void hitTestOnOffsetFrame();
    void minimumSize_data();
    void minimumSize();
    void edgesAndCursors();
    void resizeKeepsOppositeEdgesAndMinimum_data();
    void resizeKeepsOppositeEdgesAndMinimum();
    void placedWithin_data();
    void placedWithin();
};

void TestWindowGeometry::hitTest_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<bool>("maximized");
    QTest::addColumn<HitArea>("expected");

    // A 1000 x 600 window at the origin: right = 1000, bottom = 600.
    QTest::newRow("centre") << QPoint(500, 300) << false << HitArea::Client;
    QTest::newRow("top-left corner") << QPoint(0, 0) << false << HitArea::TopLeft;
    QTest::newRow("top-left inner corner") << QPoint(7, 7) << false << HitArea::TopLeft;
    QTest::newRow("left + 8 is no longer left") << QPoint(8, 300) << false << HitArea::Client;
    QTest::newRow("top + 8 is no longer top") << QPoint(500, 8) << false << HitArea::Client;
    QTest::newRow("left") << QPoint(3, 300) << false << HitArea::Left;
    QTest::newRow("bottom-left") << QPoint(3, 599) << false << HitArea::BottomLeft;
    QTest::newRow("right edge itself") << QPoint(1000, 300) << false << HitArea::Right;
    QTest::newRow("right - 8 is not right") << QPoint(992, 300) << false << HitArea::Client;
    QTest::newRow("right - 7 is right") << QPoint(993, 300) << false << HitArea::Right;
    QTest::newRow("bottom edge itself") << QPoint(500, 600) << false << HitArea::Bottom;
    QTest::newRow("bottom - 8 is not bottom") << QPoint(500, 592) << false << HitArea::Client;
    QTest::newRow("top-right") << QPoint(999, 2) << false << HitArea::TopRight;
    QTest::newRow("bottom-right") << QPoint(1000, 600) << false << HitArea::BottomRight;
    QTest::newRow("top") << QPoint(500, 0) << false << HitArea::Top;
    QTest::newRow("bottom") << QPoint(500, 595) << false << HitArea::Bottom;

    // Maximised: the whole top band is the caption, corners included, while
    // the other bands still resize.
    QTest::newRow("max top") << QPoint(500, 0) << true << HitArea::Caption;
    QTest::newRow("max top-left") << QPoint(0, 0) << true << HitArea::Caption;
    QTest::newRow("max top-right") << QPoint(999, 7) << true << HitArea::Caption;
    QTest::newRow("max left") << QPoint(0, 300) << true << HitArea::Left;
    QTest::newRow("max bottom-right") << QPoint(999, 599) << true << HitArea::BottomRight;
    QTest::newRow("max centre") << QPoint(500, 300) << true << HitArea::Client;
}

void TestWindowGeometry::hitTest()
{
    QFETCH(QPoint, point);
    QFETCH(bool, maximized);
    QFETCH(HitArea, expected);
    QCOMPARE(FramelessGeometry::hitTest(QRect(0, 0, 1000, 600), point, maximized), expected);
}

void TestWindowGeometry::hitTestOnOffsetFrame()
{
    // Screen coordinates of a window away from the origin, partly at negative
    // coordinates as on a monitor left of the primary one.
    const QRect frame(-1500, 200, 800, 500);
    QCOMPARE(FramelessGeometry::hitTest(frame, QPoint(-1500, 200), false), HitArea::TopLeft);
    QCOMPARE(FramelessGeometry::hitTest(frame, QPoint(-700, 700), false), HitArea::BottomRight);
    QCOMPARE(FramelessGeometry::hitTest(frame, QPoint(-1492, 450), false), HitArea::Client);
    QCOMPARE(FramelessGeometry::hitTest(frame, QPoint(-1100, 204), true), HitArea::Caption);
}

void TestWindowGeometry::minimumSize_data()
{
    QTest::addColumn<QSize>("workArea");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("1920 x 1040") << QSize(1920, 1040) << QSize(960, 624);
    QTest::newRow("odd width is cut") << QSize(1365, 728) << QSize(682, 436);
    // 0.6 of these heights lies just below a whole number in floating point.
    QTest::newRow("height 5") << QSize(100, 5) << QSize(50, 3);
    QTest::newRow("height 1015") << QSize(2560, 1015) << QSize(1280, 609);
    QTest::newRow("empty") << QSize(0, 0) << QSize(0, 0);
    QTest::newRow("invalid") << QSize(-1, -1) << QSize(0, 0);
}

void TestWindowGeometry::minimumSize()
{
    QFETCH(QSize, workArea);
    QFETCH(QSize, expected);
    QCOMPARE(FramelessGeometry::minimumSize(workArea), expected);
}

void TestWindowGeometry::edgesAndCursors()
{
    QCOMPARE(edgesOf(HitArea::Client), Qt::Edges());
    QCOMPARE(edgesOf(HitArea::Caption), Qt::Edges());
    QCOMPARE(edgesOf(HitArea::TopLeft), Qt::TopEdge | Qt::LeftEdge);
    QCOMPARE(edgesOf(HitArea::BottomRight), Qt::BottomEdge | Qt::RightEdge);
    QCOMPARE(edgesOf(HitArea::Right), Qt::Edges(Qt::RightEdge));
    QCOMPARE(cursorOf(HitArea::TopLeft), Qt::SizeFDiagCursor);
    QCOMPARE(cursorOf(HitArea::BottomRight), Qt::SizeFDiagCursor);
    QCOMPARE(cursorOf(HitArea::TopRight), Qt::SizeBDiagCursor);
    QCOMPARE(cursorOf(HitArea::BottomLeft), Qt::SizeBDiagCursor);
    QCOMPARE(cursorOf(HitArea::Left), Qt::SizeHorCursor);
    QCOMPARE(cursorOf(HitArea::Bottom), Qt::SizeVerCursor);
    QCOMPARE(cursorOf(HitArea::Caption), Qt::ArrowCursor);
}

void TestWindowGeometry::resizeKeepsOppositeEdgesAndMinimum_data()
{
    QTest::addColumn<int>("edges");
    QTest::addColumn<QPoint>("delta");
    QTest::addColumn<QRect>("expected");

    // Start: 100,100 800 x 600; minimum 400 x 300.
    QTest::newRow("grow right-bottom")
        << int(Qt::RightEdge | Qt::BottomEdge) << QPoint(50, 20) << QRect(100, 100, 850, 620);
    QTest::newRow("grow left-top")
        << int(Qt::LeftEdge | Qt::TopEdge) << QPoint(-30, -40) << QRect(70, 60, 830, 640);
    QTest::newRow("shrink left past minimum")
        << int(Qt::LeftEdge) << QPoint(600, 0) << QRect(500, 100, 400, 600);
    QTest::newRow("shrink top past minimum")
        << int(Qt::TopEdge) << QPoint(0, 900) << QRect(100, 400, 800, 300);
    QTest::newRow("shrink right past minimum")
        << int(Qt::RightEdge) << QPoint(-700, 0) << QRect(100, 100, 400, 600);
    QTest::newRow("shrink bottom past minimum")
        << int(Qt::BottomEdge) << QPoint(0, -500) << QRect(100, 100, 800, 300);
    QTest::newRow("right band ignores vertical")
        << int(Qt::RightEdge) << QPoint(10, 99) << QRect(100, 100, 810, 600);
}

void TestWindowGeometry::resizeKeepsOppositeEdgesAndMinimum()
{
    QFETCH(int, edges);
    QFETCH(QPoint, delta);
    QFETCH(QRect, expected);
    QCOMPARE(resized(QRect(100, 100, 800, 600), Qt::Edges(edges), delta, QSize(400, 300)),
             expected);
}

void TestWindowGeometry::placedWithin_data()
{
    QTest::addColumn<QRect>("window");
    QTest::addColumn<QRect>("expected");

    // The area: a 1280 x 720 monitor right of a 1920 wide one.
    QTest::newRow("over the left side") << QRect(1260, 81, 1024, 612) << QRect(1920, 81, 1024, 612);
    QTest::newRow("over the right and bottom sides")
        << QRect(2500, 300, 1024, 612) << QRect(2176, 108, 1024, 612);
    QTest::newRow("inside, in the top-right corner, stays")
        << QRect(2176, 0, 1024, 612) << QRect(2176, 0, 1024, 612);
    QTest::newRow("larger keeps its top-left on it")
        << QRect(2500, 300, 1536, 918) << QRect(1920, 0, 1536, 918);
}

void TestWindowGeometry::placedWithin()
{
    QFETCH(QRect, window);
    QFETCH(QRect, expected);
    QCOMPARE(FramelessGeometry::placedWithin(window, QRect(1920, 0, 1280, 720)), expected);
}

QTEST_APPLESS_MAIN(TestWindowGeometry)
#include "tst_windowgeometry.moc"
