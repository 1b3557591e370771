#include "entryfactory.h"
#include "lineseries.h"

#include <QSignalSpy>
#include <QThreadPool>
#include <QtTest>
#include <memory>
#ifdef __GLIBC__
#include <dlfcn.h>
#include <malloc.h>
#endif

#ifdef __GLIBC__
// Counts the series' hand-backs of freed memory to the system, and makes them.
int trims = 0;
extern "C" int malloc_trim(size_t pad) noexcept
{
    ++trims;
    static const auto trim = reinterpret_cast<int (*)(size_t)>(dlsym(RTLD_NEXT, "malloc_trim"));
    return trim ? trim(pad) : 0;
}
#endif

namespace {

using Values = QList<QPair<double, double>>;

QVariantMap vertex(const QVariant &x, double y)
{
    return {{"x", x}, {"y", y}};
}

qint64 msecs(FieldReading *reading)
{
    return reading->dateTime().toMSecsSinceEpoch();
}

std::unique_ptr<FieldLineSeries> makeSeries(const QString &kind)
{
    if (kind == "exposure")
        return std::make_unique<ExposureLineSeries>();
    if (kind == "E")
        return std::make_unique<EFieldLineSeries>();
    if (kind == "H")
        return std::make_unique<HFieldLineSeries>();
    if (kind == "six")
        return std::make_unique<SixMinAverageLineSeries>();
    return std::make_unique<ThirtyMinAverageLineSeries>();
}

} // namespace

class TestLineSeries : public QObject
{
    Q_OBJECT

private slots:
    void stepsBetweenReadings();
    void countRule_data();
    void countRule();
    void eachSeriesPicksItsValue_data();
    void eachSeriesPicksItsValue();
    void exposureAnnounces();
    void quietSeriesNeverEmit_data();
    void quietSeriesNeverEmit();
    void nullEntryClearsSilently();
    void followsAnEntryStillLoading();
    void reloadWithChangedReadings();
    void switchingEntriesLeavesTheOldOneBehind();
    void destroyedEntryReadsAsNone();
};

void TestLineSeries::stepsBetweenReadings()
{
    TestFieldEntry entry;
    entry.deliver(Values{{100, 0}, {250, 0}, {50, 0}});
    const QList<FieldReading *> r = entry.fieldReadings();

    EFieldLineSeries series;
    series.setFieldEntry(&entry);
    const QVariantList expected{vertex(msecs(r[1]), 1.0), vertex(msecs(r[1]), 2.5),
                                vertex(msecs(r[2]), 2.5), vertex(msecs(r[2]), 0.5)};
    QCOMPARE(series.vertices(), expected);
    // x is a 64-bit integer for the plot, y a double.
    const QVariantMap first = series.vertices().first().toMap();
    QCOMPARE(first.value("x").typeId(), QMetaType::LongLong);
    QCOMPARE(first.value("y").typeId(), QMetaType::Double);
    QCOMPARE(first.value("x").toLongLong() - msecs(r[0]), 10000);

    // The numbers the plot takes without maps are the same points, in order.
    double x[4];
    double y[4];
    QVERIFY(series.copyPoints(1, x, y));
    for (int k = 1; k < 4; ++k) {
        QCOMPARE(x[k - 1], expected.at(k).toMap().value("x").toDouble());
        QCOMPARE(y[k - 1], expected.at(k).toMap().value("y").toDouble());
    }
}

void TestLineSeries::countRule_data()
{
    QTest::addColumn<int>("readings");
    QTest::addColumn<int>("grownTo");
    QTest::addColumn<int>("vertices");
    // Then each series is set to a session still loading, whose load reads
    // four readings or nothing: "" for none.
    QTest::addColumn<QString>("next");
    QTest::newRow("none") << 0 << 0 << 0 << "";
    QTest::newRow("one") << 1 << 0 << 0 << "";
    QTest::newRow("two") << 2 << 0 << 2 << "";
    QTest::newRow("recorded session") << 100 << 0 << 198 << "";
    QTest::newRow("live session that grows") << 100 << 103 << 204 << "";
    QTest::newRow("long session") << 50000 << 0 << 99998 << "";
    QTest::newRow("long live session that grows") << 50000 << 50002 << 100002 << "";
    QTest::newRow("long session, then one still loading") << 50000 << 0 << 99998 << "reads";
    QTest::newRow("then one whose load reads nothing") << 100 << 0 << 198 << "fails";
}

// The points as the step rule makes them from the readings, maps and types
// as published.
QVariantList stepVertices(const FieldLineSeries &series, const QList<FieldReading *> &readings)
{
    QVariantList list;
    for (qsizetype i = 1; i < readings.size(); ++i)
        list << vertex(msecs(readings[i]), series.readingValue(readings[i - 1]) / 100)
             << vertex(msecs(readings[i]), series.readingValue(readings[i]) / 100);
    return list;
}

void TestLineSeries::countRule()
{
    QFETCH(int, readings);
    QFETCH(int, grownTo);
    QFETCH(int, vertices);
    QFETCH(QString, next);
    TestFieldEntry entry;
    entry.deliver(readings);
    // As the screen sets them, the exposure series last: when it announces,
    // the other four hold the same readings, however long the session.
    std::vector<std::unique_ptr<FieldLineSeries>> all;
    const QVariantList given{vertex(qint64(1), 1), vertex(QStringLiteral("x"), 0.5)};
    for (const char *kind : {"E", "H", "six", "thirty", "exposure"}) {
        all.push_back(makeSeries(kind));
        all.back()->setVertices(given);
        QCOMPARE(all.back()->vertices(), given);
    }
    QList<qsizetype> seenAtAnnouncement;
    connect(all.back().get(), &FieldLineSeries::verticesChanged, this, [&] {
        for (const auto &series : all)
            seenAtAnnouncement << series->vertices().size();
    });
    for (const auto &series : all)
        series->setFieldEntry(&entry);

    if (next.isEmpty()) {
        if (grownTo > 0) {
            QTRY_VERIFY(!seenAtAnnouncement.isEmpty());
            seenAtAnnouncement.clear();
            entry.deliver(grownTo);
        }
        QTRY_COMPARE(seenAtAnnouncement, QList<qsizetype>(5, vertices));
        for (const auto &series : all) {
            QCOMPARE(series->pointCount(), vertices);
            const QVariantList points = stepVertices(*series, entry.fieldReadings());
            QCOMPARE(series->vertices(), points);
            // The numbers the plot takes without maps (a long session's in
            // parts), from the second point on.
            std::vector<double> x(points.size()), y(points.size());
            QVERIFY(series->copyPoints(1, x.data(), y.data()));
            qsizetype wrong = -1;
            for (qsizetype k = 1; k < points.size() && wrong < 0; ++k) {
                const QVariantMap point = points.at(k).toMap();
                if (x[k - 1] != point.value("x").toDouble() ||
                    y[k - 1] != point.value("y").toDouble())
                    wrong = k;
            }
            QCOMPARE(wrong, -1);
        }
#ifdef __GLIBC__
        // The maps of a long session, let go, go back to the system every
        // time, though not while the plot may still be drawing them.
        for (int round = 0; vertices >= 100000 && round < 2; ++round) {
            const int before = trims;
            all.front()->vertices();
            QTest::qWait(200);
            QCOMPARE(trims, before);
            QTRY_VERIFY(trims > before);
        }
#endif
        return;
    }

    // Another session chosen at once, still loading: whatever was under way
    // for the one left must not arrive, and its load decides the points.
    TestFieldEntry loading;
    loading.startLoading();
    for (const auto &series : all)
        series->setFieldEntry(&loading);
    seenAtAnnouncement.clear();
    QThreadPool::globalInstance()->waitForDone();
    QTest::qWait(50);
    QCOMPARE(seenAtAnnouncement, QList<qsizetype>());
    if (next == "reads") {
        loading.deliver(4);
        QCOMPARE(seenAtAnnouncement, QList<qsizetype>(5, 6));
        for (const auto &series : all)
            QCOMPARE(series->vertices(), stepVertices(*series, loading.fieldReadings()));
    } else {
        // No other session's points may stand for this one.
        loading.loseLoad();
        QTRY_COMPARE(seenAtAnnouncement, QList<qsizetype>(5, 0));
    }
}

void TestLineSeries::eachSeriesPicksItsValue_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("expected");
    // Second reading: E 80, H 120, six-minute 33, thirty-minute 44.
    QTest::newRow("exposure takes the larger") << "exposure" << 1.2;
    QTest::newRow("E") << "E" << 0.8;
    QTest::newRow("H") << "H" << 1.2;
    QTest::newRow("six-minute average") << "six" << 0.33;
    QTest::newRow("thirty-minute average") << "thirty" << 0.44;
}

void TestLineSeries::eachSeriesPicksItsValue()
{
    QFETCH(QString, kind);
    QFETCH(double, expected);
    TestFieldEntry entry;
    entry.deliver(Values{{10, 20}, {80, 120}});
    FieldReading *second = entry.fieldReadings().at(1);
    second->setSixMinAvg(33);
    second->setThirtyMinAvg(44);
    FieldReading *first = entry.fieldReadings().at(0);
    first->setSixMinAvg(5);
    first->setThirtyMinAvg(7);

    auto series = makeSeries(kind);
    series->setFieldEntry(&entry);
    QCOMPARE(series->vertices().at(1).toMap().value("y").toDouble(), expected);
    const double previous = series->vertices().at(0).toMap().value("y").toDouble();
    const QMap<QString, double> firstValues{
        {"exposure", 0.2}, {"E", 0.1}, {"H", 0.2}, {"six", 0.05}, {"thirty", 0.07}};
    QCOMPARE(previous, firstValues.value(kind));

    // E equal to H: the exposure is that value.
    TestFieldEntry even;
    even.deliver(Values{{0, 0}, {64, 64}});
    ExposureLineSeries exposure;
    exposure.setFieldEntry(&even);
    QCOMPARE(exposure.vertices().at(1).toMap().value("y").toDouble(), 0.64);
}

void TestLineSeries::exposureAnnounces()
{
    TestFieldEntry entry;
    entry.deliver(Values{{1, 2}, {3, 4}, {5, 6}});
    ExposureLineSeries series;
    QSignalSpy entryChanged(&series, &FieldLineSeries::fieldEntryChanged);
    QSignalSpy verticesChanged(&series, &FieldLineSeries::verticesChanged);

    series.setFieldEntry(&entry);
    QCOMPARE(entryChanged.count(), 1);
    QCOMPARE(verticesChanged.count(), 1);
    QCOMPARE(verticesChanged.last().first().toList(), series.vertices());
    QCOMPARE(series.property("fieldEntry").value<FieldDataEntry *>(), &entry);

    // Each reading update of the session rebuilds and announces.
    entry.deliver(Values{{1, 2}, {3, 4}, {5, 6}, {7, 8}});
    QCOMPARE(verticesChanged.count(), 2);
    QCOMPARE(series.vertices().size(), 6);

    // Setting, adding and clearing announce even without a change; lists
    // given are kept as given.
    const QVariantList made = series.vertices();
    series.setVertices(made);
    series.addVertex(vertex(qint64(1), 0.5));
    QCOMPARE(series.vertices(), QVariantList(made) << vertex(qint64(1), 0.5));
    QCOMPARE(series.pointCount(), 7);
    series.clear();
    series.clear();
    QCOMPARE(verticesChanged.count(), 6);
    QVERIFY(verticesChanged.last().first().toList().isEmpty());
}

void TestLineSeries::quietSeriesNeverEmit_data()
{
    QTest::addColumn<QString>("kind");
    for (const char *kind : {"E", "H", "six", "thirty"})
        QTest::newRow(kind) << QString::fromLatin1(kind);
}

void TestLineSeries::quietSeriesNeverEmit()
{
    QFETCH(QString, kind);
    TestFieldEntry entry;
    entry.deliver(3);
    auto series = makeSeries(kind);
    QSignalSpy entryChanged(series.get(), &FieldLineSeries::fieldEntryChanged);
    QSignalSpy verticesChanged(series.get(), &FieldLineSeries::verticesChanged);

    series->setFieldEntry(&entry);
    QCOMPARE(series->vertices().size(), 4);
    entry.deliver(5);
    QCOMPARE(series->vertices().size(), 8);
    series->addVertex(vertex(qint64(1), 1));
    series->setVertices({});
    series->clear();
    series->setFieldEntry(nullptr);

    QCOMPARE(entryChanged.count(), 0);
    QCOMPARE(verticesChanged.count(), 0);
}

void TestLineSeries::nullEntryClearsSilently()
{
    TestFieldEntry entry;
    entry.deliver(4);
    ExposureLineSeries series;
    series.setFieldEntry(&entry);
    QCOMPARE(series.vertices().size(), 6);

    QSignalSpy entryChanged(&series, &FieldLineSeries::fieldEntryChanged);
    QSignalSpy verticesChanged(&series, &FieldLineSeries::verticesChanged);
    series.setFieldEntry(nullptr);
    QVERIFY(series.vertices().isEmpty());
    QCOMPARE(series.fieldEntry(), nullptr);
    QCOMPARE(entryChanged.count(), 1);
    QCOMPARE(verticesChanged.count(), 0);

    // The session it left no longer drives it.
    entry.deliver(6);
    QVERIFY(series.vertices().isEmpty());
    QCOMPARE(verticesChanged.count(), 0);
}

void TestLineSeries::followsAnEntryStillLoading()
{
    const QVariantList old{vertex(qint64(1), 0.1), vertex(qint64(2), 0.2)};
    ExposureLineSeries series;
    series.setVertices(old);
    QSignalSpy verticesChanged(&series, &FieldLineSeries::verticesChanged);

    // Not loaded and empty: the old points stay until the readings come.
    TestFieldEntry loading;
    series.setFieldEntry(&loading);
    QCOMPARE(series.vertices(), old);
    QCOMPARE(verticesChanged.count(), 0);
    loading.deliver(Values{{100, 0}, {200, 0}});
    QCOMPARE(verticesChanged.count(), 1);
    QCOMPARE(series.vertices().size(), 2);
    QCOMPARE(series.vertices().at(1).toMap().value("y").toDouble(), 2.0);

    // Loaded and empty: the series empties.
    TestFieldEntry empty;
    empty.deliver(0);
    QVERIFY(empty.isLoaded());
    series.setFieldEntry(&empty);
    QVERIFY(series.vertices().isEmpty());
    QCOMPARE(verticesChanged.count(), 2);
}

void TestLineSeries::reloadWithChangedReadings()
{
    // A reload decodes into the same reading objects; whatever changed in
    // them, times or values, must show, and nothing stale may remain.
    TestFieldEntry entry;
    entry.deliver(Values{{100, 0}, {200, 0}, {300, 0}, {400, 0}});
    EFieldLineSeries series;
    series.setFieldEntry(&entry);
    QCOMPARE(series.vertices().size(), 6);

    entry.deliver(Values{{100, 0}, {200, 0}, {350, 0}}, 30);
    QList<FieldReading *> r = entry.fieldReadings();
    QVariantList expected{vertex(msecs(r[1]), 1.0), vertex(msecs(r[1]), 2.0),
                          vertex(msecs(r[2]), 2.0), vertex(msecs(r[2]), 3.5)};
    QCOMPARE(series.vertices(), expected);
    QCOMPARE(msecs(r[2]) - msecs(r[0]), 60000);

    entry.deliver(Values{{100, 0}, {200, 0}, {350, 0}, {50, 0}, {60, 0}}, 30);
    r = entry.fieldReadings();
    expected << vertex(msecs(r[3]), 3.5) << vertex(msecs(r[3]), 0.5) << vertex(msecs(r[4]), 0.5)
             << vertex(msecs(r[4]), 0.6);
    QCOMPARE(series.vertices(), expected);

    // As many readings from the same first one on, one of them later.
    entry.deliverSteps({30, 30, 45, 30, 30});
    QCOMPARE(series.vertices().last().toMap().value("x").toLongLong(),
             msecs(entry.fieldReadings().last()));

    // Vertices set from outside are not mistaken for the session's.
    series.setVertices({vertex(msecs(r[1]), 9.0)});
    entry.deliver(Values{{100, 0}, {200, 0}}, 30);
    QCOMPARE(series.vertices(), (QVariantList{vertex(msecs(r[1]), 1.0), vertex(msecs(r[1]), 2.0)}));
}

void TestLineSeries::switchingEntriesLeavesTheOldOneBehind()
{
    TestFieldEntry a;
    TestFieldEntry b;
    a.deliver(3);
    b.deliver(5);
    ExposureLineSeries series;
    QSignalSpy verticesChanged(&series, &FieldLineSeries::verticesChanged);

    // Back and forth, and the same session again: still one connection.
    for (int i = 0; i < 5; ++i) {
        series.setFieldEntry(&a);
        series.setFieldEntry(&b);
    }
    series.setFieldEntry(&b);
    QCOMPARE(series.vertices().size(), 8);

    verticesChanged.clear();
    a.deliver(10);
    QCOMPARE(verticesChanged.count(), 0);
    QCOMPARE(series.vertices().size(), 8);

    b.deliver(7);
    QCOMPARE(verticesChanged.count(), 1);
    QCOMPARE(series.vertices().size(), 12);

    // A session of the same length at other times has times of its own.
    TestFieldEntry c;
    c.deliver(7, 20);
    series.setFieldEntry(&c);
    QCOMPARE(series.vertices().last().toMap().value("x").toLongLong(),
             msecs(c.fieldReadings().last()));
}

void TestLineSeries::destroyedEntryReadsAsNone()
{
    auto entry = std::make_unique<TestFieldEntry>();
    entry->deliver(3);
    ExposureLineSeries series;
    HFieldLineSeries quiet;
    series.setFieldEntry(entry.get());
    quiet.setFieldEntry(entry.get());
    entry.reset();
    QCOMPARE(series.fieldEntry(), nullptr);
    QCOMPARE(quiet.property("fieldEntry").value<FieldDataEntry *>(), nullptr);
    // Its points stay, though its readings went with it.
    QCOMPARE(quiet.vertices().size(), 4);

    // A new session takes over as usual.
    TestFieldEntry next;
    next.deliver(2);
    series.setFieldEntry(&next);
    QCOMPARE(series.vertices().size(), 2);

    // A series destroyed before its session leaves no dangling connection.
    {
        EFieldLineSeries shortLived;
        shortLived.setFieldEntry(&next);
    }
    next.deliver(4);
    QCOMPARE(series.vertices().size(), 6);
}

QTEST_GUILESS_MAIN(TestLineSeries)
#include "tst_lineseries.moc"
