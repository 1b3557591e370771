// The data screen's pure helpers, run by the QML engine as the screen runs them.
#include "contentscript.h"

#include <QJSValue>
#include <QJSValueIterator>
#include <QSet>
#include <QTest>

class TestDataScreenLogic : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void imageTarget_data();
    void imageTarget();
    void traceTableIsComplete();
    void placeholdersBeforeTheStatusReply();
    void listThatOnlyGrew();

private:
    ContentScript m_script;
};

void TestDataScreenLogic::initTestCase()
{
    QVERIFY2(m_script.load(QStringLiteral("DataScreen.mjs")), qPrintable(m_script.error()));
}

void TestDataScreenLogic::imageTarget_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("filter");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("format");

    const QStringList png{QStringLiteral("png")};
    const QStringList jpeg{QStringLiteral("jpeg")};
    const QStringList svg{QStringLiteral("*.svg")};
    QTest::newRow("png") << "/t/plot.png" << jpeg << "/t/plot.png"
                         << "png";
    QTest::newRow("upper case") << "/t/plot.PNG" << png << "/t/plot.PNG"
                                << "png";
    QTest::newRow("jpg is jpeg") << "/t/plot.jpg" << png << "/t/plot.jpg"
                                 << "jpeg";
    QTest::newRow("svg") << "/t/plot.svg" << png << "/t/plot.svg"
                         << "svg";
    QTest::newRow("none takes filter") << "/t/plot" << jpeg << "/t/plot.jpeg"
                                       << "jpeg";
    QTest::newRow("glob filter") << "/t/plot" << svg << "/t/plot.svg"
                                 << "svg";
    QTest::newRow("unknown extension") << "/t/plot.txt" << png << "/t/plot.txt.png"
                                       << "png";
    QTest::newRow("dot in folder only") << "/t/my.dir/plot" << png << "/t/my.dir/plot.png"
                                        << "png";
    QTest::newRow("hidden name") << "/t/.png" << jpeg << "/t/.png.jpeg"
                                 << "jpeg";
    QTest::newRow("no filter") << "/t/plot" << QStringList() << "/t/plot.png"
                               << "png";
}

void TestDataScreenLogic::imageTarget()
{
    QFETCH(QString, path);
    QFETCH(QStringList, filter);
    QFETCH(QString, fileName);
    QFETCH(QString, format);
    const QJSValue result = m_script.call(QStringLiteral("imageTarget"),
                                          {path, m_script.engine().toScriptValue(filter)});
    QCOMPARE(result.property(QStringLiteral("fileName")).toString(), fileName);
    QCOMPARE(result.property(QStringLiteral("format")).toString(), format);
}

void TestDataScreenLogic::traceTableIsComplete()
{
    QJSValue colours = m_script.engine().newObject();
    colours.setProperty(QStringLiteral("combined"), QStringLiteral("#ff6a00"));
    colours.setProperty(QStringLiteral("eField"), QStringLiteral("#035888"));
    colours.setProperty(QStringLiteral("hField"), QStringLiteral("#d43f3a"));
    colours.setProperty(QStringLiteral("sixMin"), QStringLiteral("#34e8eb"));
    colours.setProperty(QStringLiteral("thirtyMin"), QStringLiteral("#8f34eb"));
    const QJSValue table = m_script.call(QStringLiteral("traceTable"), {colours});
    QCOMPARE(table.property(QStringLiteral("length")).toInt(), 5);

    const QStringList names{"Combined Exposure", "E-Field", "H-Field", "6 Min Average",
                            "30 Min Average"};
    const QStringList series{"exposureLineSeries", "eFieldLineSeries", "hFieldLineSeries",
                             "sixMinAverageLineSeries", "thirtyMinAverageLineSeries"};
    const QStringList notes{"", "", "", "6min", "30min"};
    const QStringList colourTexts{"#ff6a00", "#035888", "#d43f3a", "#34e8eb", "#8f34eb"};
    QSet<QString> switches;
    for (int i = 0; i < 5; ++i) {
        const QJSValue row = table.property(quint32(i));
        QCOMPARE(row.property(QStringLiteral("name")).toString(), names.at(i));
        QCOMPARE(row.property(QStringLiteral("series")).toString(), series.at(i));
        QCOMPARE(row.property(QStringLiteral("note")).toString(), notes.at(i));
        QCOMPARE(row.property(QStringLiteral("colour")).toString(), colourTexts.at(i));
        QCOMPARE(row.property(QStringLiteral("checked")).toBool(), i == 0);
        QCOMPARE(row.property(QStringLiteral("noteText")).toString().isEmpty(),
                 notes.at(i).isEmpty());
        switches.insert(row.property(QStringLiteral("switchName")).toString());
    }
    QCOMPARE(switches.size(), 5);
    QCOMPARE(table.property(3).property(QStringLiteral("noteText")).toString(),
             QStringLiteral("Per FCC OET 65 Table 1 - Occupational MPE limits."));
    QCOMPARE(table.property(4).property(QStringLiteral("noteText")).toString(),
             QStringLiteral("Per ICNIRP 2020 Table 5 - Occupational Whole-Body Reference Levels."));
}

void TestDataScreenLogic::placeholdersBeforeTheStatusReply()
{
    QCOMPARE(m_script.call(QStringLiteral("batteryText"), {false, 0}).toString(),
             QStringLiteral("-"));
    QCOMPARE(m_script.call(QStringLiteral("batteryText"), {true, 3.956}).toString(),
             QStringLiteral("3.96 V"));
    QCOMPARE(m_script.call(QStringLiteral("batteryText"), {true, 4}).toString(),
             QStringLiteral("4.00 V"));
    QCOMPARE(m_script.call(QStringLiteral("memoryText"), {false, false}).toString(),
             QStringLiteral("-"));
    QCOMPARE(m_script.call(QStringLiteral("memoryText"), {true, true}).toString(),
             QStringLiteral("Disabled"));
    QCOMPARE(m_script.call(QStringLiteral("memoryText"), {true, false}).toString(),
             QStringLiteral("Enabled"));
}

// Entries are told apart by identity: all of a, b and twin hold the same.
void TestDataScreenLogic::listThatOnlyGrew()
{
    const QJSValue cases = m_script.engine().evaluate(
        QStringLiteral("(() => { const a = {}, b = {}, twin = {}; return [[[], [], true],"
                       " [[a, b], [b, twin, a], true], [[a, b], [a], false],"
                       " [[a, b], [a, twin], false], [[a], [], false]] })()"));
    QCOMPARE(cases.property(QStringLiteral("length")).toInt(), 5);
    for (quint32 i = 0; i < 5; ++i) {
        const QJSValue c = cases.property(i);
        const QJSValue kept =
            m_script.call(QStringLiteral("keepsEntries"), {c.property(0), c.property(1)});
        QVERIFY2(kept.toBool() == c.property(2).toBool(), qPrintable(QString::number(i)));
    }
}

QTEST_GUILESS_MAIN(TestDataScreenLogic)
#include "tst_datascreenlogic.moc"
