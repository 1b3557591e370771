#include "commaseparatedexporter.h"
#include "tabseparatedexporter.h"
#include "testentries.h"

#include <QTest>
#include <memory>

namespace {

const QDateTime sessionStart(QDate(2024, 1, 31), QTime(13, 22, 33), Qt::UTC); // 14:22:33 here

// The clipboard text as Qt's own number and date texts would give it.
QByteArray referenceText(const QList<FieldReading *> &readings, char separator, bool isPublic,
                         bool backfill)
{
    const QString scale = isPublic ? "Pub" : "Occ";
    QStringList lines{QStringList{"# Timestamp", "Exposure [" + scale + " %]",
                                  "EField [" + scale + " %]", "HField [" + scale + " %]",
                                  "Alarm State", "6min Avg", "30min Avg"}
                          .join(separator)};
    auto row = [&](const QDateTime &time, const FieldReading *r) {
        lines << QStringList{time.toString("yyyy/MM/dd HH:mm:ss"),
                             QString::number(r->MaxField(), 'f', 4),
                             QString::number(r->EField(), 'f', 4),
                             QString::number(r->HField(), 'f', 4),
                             QString::number(r->AlarmState()),
                             QString::number(r->SixMinAvg(), 'f', 4),
                             QString::number(r->ThirtyMinAvg(), 'f', 4)}
                     .join(separator);
    };
    for (int i = 0; i < readings.size(); ++i) {
        if (backfill && i > 0)
            row(readings[i]->dateTime(), readings[i - 1]);
        row(readings[i]->dateTime(), readings[i]);
    }
    return (lines.join('\n') + '\n').toUtf8();
}

struct Result
{
    QString name;
    QByteArray data;
};

} // namespace

class TestClipboardExporters : public QObject
{
    Q_OBJECT

private slots:
    void goldenText();
    void tabsAndNoBackfill();
    void resultsKeepTheirOrder();
    void entryWithoutReadings();
    void liveReloadDuringAJob();
    void nullEntryIsIgnored();
    void shutdownEndsTheThread();
    void destroyingWaitsForTheWorker();

private:
    // Collects results on this thread, as the shell receives them.
    void collect(FieldDataExporter *exporter)
    {
        connect(exporter, &FieldDataExporter::dataReady, this,
                [this](const QString &name, const QByteArray &data) {
                    m_results.append({name, data});
                });
    }

    QList<Result> m_results;
};

void TestClipboardExporters::goldenText()
{
    m_results.clear();
    TestFieldEntry entry(sessionStart);
    entry.feed(fieldRecord(10, 0, 100) + fieldRecord(10, 200, 100));
    CommaSeparatedExporter exporter;
    collect(&exporter);
    exporter.format(&entry, true);
    QTRY_COMPARE(m_results.size(), 1);
    QCOMPARE(m_results[0].name, QString("20240131 142233.csv"));
    QCOMPARE(m_results[0].data,
             QByteArray("# Timestamp,Exposure [Occ %],EField [Occ %],HField [Occ %],Alarm State,"
                        "6min Avg,30min Avg\n"
                        "2024/01/31 14:22:43,200.0000,200.0000,20.0000,3,0.0000,0.0000\n"
                        "2024/01/31 14:22:53,200.0000,200.0000,20.0000,3,0.0000,0.0000\n"
                        "2024/01/31 14:22:53,20.0000,2.0000,20.0000,0,5.5556,1.1111\n"));
}

void TestClipboardExporters::tabsAndNoBackfill()
{
    m_results.clear();
    TestFieldEntry entry(sessionStart, true);
    entry.feed(fieldSession(300));
    TabSeparatedExporter exporter;
    collect(&exporter);
    exporter.format(&entry);
    exporter.format(&entry, true);
    QTRY_COMPARE(m_results.size(), 2);
    QCOMPARE(m_results[0].name, QString("20240131 142233.tsv"));
    QCOMPARE(m_results[0].data, referenceText(entry.fieldReadings(), '\t', true, false));
    QCOMPARE(m_results[0].data.count('\n'), 301);
    QCOMPARE(m_results[1].data, referenceText(entry.fieldReadings(), '\t', true, true));
}

void TestClipboardExporters::resultsKeepTheirOrder()
{
    m_results.clear();
    std::vector<std::unique_ptr<TestFieldEntry>> entries;
    CommaSeparatedExporter exporter;
    collect(&exporter);
    for (int i = 0; i < 6; ++i) {
        // Big and small jobs mixed: a small one must not overtake a big one.
        entries.push_back(std::make_unique<TestFieldEntry>(sessionStart.addSecs(i)));
        entries.back()->feed(fieldSession(i % 2 ? 3 : 20000, 250));
        exporter.format(entries.back().get(), true);
    }
    QTRY_COMPARE(m_results.size(), 6);
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(m_results[i].name,
                 sessionStart.addSecs(i).toLocalTime().toString("yyyyMMdd HHmmss") + ".csv");
        QCOMPARE(m_results[i].data.count('\n'), i % 2 ? 1 + 5 : 1 + 39999);
    }

    // Nor on another exporter: the clipboard ends with the copy asked for last.
    m_results.clear();
    TabSeparatedExporter tabs;
    collect(&tabs);
    exporter.format(entries[0].get(), true);
    tabs.format(entries[1].get(), true);
    QTRY_COMPARE(m_results.size(), 2);
    QVERIFY(m_results[0].name.endsWith(".csv") && m_results[1].name.endsWith(".tsv"));
}

void TestClipboardExporters::entryWithoutReadings()
{
    m_results.clear();
    TestFieldEntry occupational(sessionStart), publicEntry(sessionStart, true);
    CommaSeparatedExporter exporter;
    collect(&exporter);
    exporter.format(&occupational, true);
    exporter.format(&publicEntry, true);
    QTRY_COMPARE(m_results.size(), 2);
    QCOMPARE(m_results[0].data, QByteArray("# Timestamp,Exposure [Occ %],EField [Occ %],HField "
                                           "[Occ %],Alarm State,6min Avg,30min Avg\n"));
    QVERIFY(m_results[1].data.startsWith("# Timestamp,Exposure [Pub %]"));
    QCOMPARE(m_results[1].data.count('\n'), 1);
}

void TestClipboardExporters::liveReloadDuringAJob()
{
    m_results.clear();
    TestFieldEntry busy(sessionStart);
    busy.feed(fieldSession(50000, 250));
    auto *live = new TestFieldEntry(sessionStart.addSecs(60));
    live->feed(fieldSession(50));
    const QByteArray expected = referenceText(live->fieldReadings(), ',', false, true);

    CommaSeparatedExporter exporter;
    collect(&exporter);
    exporter.format(&busy, true); // keeps the worker busy
    exporter.format(live, true);
    // The live session is decoded again (its reading objects rewritten) and then
    // goes away altogether while its job still waits.
    live->feed(fieldRecord(1, 250, 250) + fieldSession(10));
    delete live;
    QTRY_COMPARE_WITH_TIMEOUT(m_results.size(), 2, 20000);
    QCOMPARE(m_results[1].data, expected);
}

void TestClipboardExporters::nullEntryIsIgnored()
{
    m_results.clear();
    CommaSeparatedExporter exporter;
    collect(&exporter);
    exporter.format(nullptr, true);
    TestFieldEntry entry(sessionStart);
    exporter.format(&entry);
    QTRY_COMPARE(m_results.size(), 1);
    QTest::qWait(150);
    QCOMPARE(m_results.size(), 1);
}

void TestClipboardExporters::shutdownEndsTheThread()
{
    CommaSeparatedExporter exporter;
    QVERIFY(exporter.isRunning());
    bool finished = false;
    connect(&exporter, &QThread::finished, this, [&] { finished = true; });
    exporter.shutdown();
    QTRY_VERIFY_WITH_TIMEOUT(finished, 1000);
    QVERIFY(exporter.isFinished());
}

void TestClipboardExporters::destroyingWaitsForTheWorker()
{
    TestFieldEntry entry(sessionStart);
    entry.feed(fieldSession(50000, 250));
    auto exporter = std::make_unique<TabSeparatedExporter>();
    QThread *thread = exporter.get();
    bool finished = false;
    connect(
        thread, &QThread::finished, this, [&] { finished = true; }, Qt::DirectConnection);
    for (int i = 0; i < 4; ++i)
        exporter->format(&entry, true);
    QTest::qWait(20);
    exporter.reset(); // must wait for the job in hand, drop the rest and not crash
    QVERIFY(finished);
}

QTEST_MAIN(TestClipboardExporters)
#include "tst_clipboardexporters.moc"
