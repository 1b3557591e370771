#include "bulkfileexporter.h"
#include "testentries.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <utility>

namespace {

// Start times in UTC; the names show local time (Europe/Berlin in the tests).
QDateTime startAt(int minute, int second = 0)
{
    return QDateTime(QDate(2024, 1, 31), QTime(13, minute, second), Qt::UTC);
}

QStringList filesIn(const QString &path)
{
    // System: a dangling link is listed too.
    return QDir(path).entryList(
        QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace

class TestBulkFileExporter : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void namesPerType();
    void bothInBulk();
    void noData();
    void cancelBeforeTheNextEntry();
    void cancelDuringTheLastEntry();
    void disconnectEndsTheRunAsCancelled();
    void failuresEndInError();
    void concurrentRunsOnTheOwnThread();

private:
    TestFieldEntry *field(int minute, int second = 0, int readings = 3);
    TestAudioEntry *audio(int minute);
    void setEntries();
    int signalCount() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TestDevice> m_device;
    std::unique_ptr<BulkFileExporter> m_exporter;
    std::vector<std::unique_ptr<DataEntry>> m_entries;
    std::unique_ptr<QSignalSpy> m_saved, m_errors, m_noData, m_cancelled;
};

void TestBulkFileExporter::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_device = std::make_unique<TestDevice>();
    m_device->link(true);
    m_exporter = std::make_unique<BulkFileExporter>();
    m_exporter->setDevice(m_device.get());
    m_exporter->setFolder(QUrl::fromLocalFile(m_dir->path()));
    m_saved = std::make_unique<QSignalSpy>(m_exporter.get(), &FileExporter::dataSaved);
    m_errors = std::make_unique<QSignalSpy>(m_exporter.get(),
                                            qOverload<const QString &>(&FileExporter::error));
    m_noData = std::make_unique<QSignalSpy>(m_exporter.get(), &FileExporter::noData);
    m_cancelled = std::make_unique<QSignalSpy>(m_exporter.get(), &FileExporter::cancelled);
}

void TestBulkFileExporter::cleanup()
{
    m_saved.reset();
    m_errors.reset();
    m_noData.reset();
    m_cancelled.reset();
    m_exporter.reset();
    m_entries.clear();
    m_device.reset();
    m_dir.reset();
}

TestFieldEntry *TestBulkFileExporter::field(int minute, int second, int readings)
{
    auto *entry = new TestFieldEntry(startAt(minute, second));
    m_entries.emplace_back(entry);
    entry->feedOnLoad(fieldSession(readings));
    return entry;
}

TestAudioEntry *TestBulkFileExporter::audio(int minute)
{
    auto *entry = new TestAudioEntry(startAt(minute));
    m_entries.emplace_back(entry);
    entry->feedOnLoad(QByteArray(200, char(100)));
    return entry;
}

void TestBulkFileExporter::setEntries()
{
    QList<QObject *> list;
    for (const auto &entry : m_entries)
        list.append(entry.get());
    m_exporter->setDataEntries(list);
}

int TestBulkFileExporter::signalCount() const
{
    return m_saved->count() + m_errors->count() + m_noData->count() + m_cancelled->count();
}

void TestBulkFileExporter::namesPerType()
{
    field(22, 33);
    audio(23);
    field(22, 33);   // same start second as the first
    field(24, 0, 1); // one reading: counted, but no file
    setEntries();

    m_exporter->writeAll(DataEntry::Field, FileExporter::CSV);
    QCOMPARE(m_saved->count(), 1);
    QCOMPARE(signalCount(), 1);
    QCOMPARE(filesIn(m_dir->path()),
             (QStringList{"20240131-142233_data.csv", "20240131-142233_data_1.csv"}));

    // A link planted under a name anyone can foresee is never written through.
    QTemporaryDir elsewhere;
    const QString planted = elsewhere.filePath("planted.wav");
    QVERIFY(QFile::link(planted, m_dir->filePath("20240131-142300_voice.wav")));
    m_exporter->writeAll(DataEntry::Audio);
    m_exporter->writeAll(DataEntry::Field, FileExporter::TSV);
    QCOMPARE(m_saved->count(), 3);
    QCOMPARE(signalCount(), 3);
    QCOMPARE(filesIn(m_dir->path()),
             (QStringList{"20240131-142233_data.csv", "20240131-142233_data.tsv",
                          "20240131-142233_data_1.csv", "20240131-142233_data_1.tsv",
                          "20240131-142300_voice.wav", "20240131-142300_voice_1.wav"}));
    QVERIFY(!QFileInfo::exists(planted));
    QVERIFY(QFileInfo(m_dir->filePath("20240131-142300_voice_1.wav")).isFile());
    QVERIFY(!m_exporter->isBusy());
    QCOMPARE(m_exporter->dataEntries().size(), 4);
}

void TestBulkFileExporter::bothInBulk()
{
    field(22, 33);
    setEntries();
    m_exporter->writeAll(DataEntry::Field, FileExporter::BOTH);
    QCOMPARE(m_saved->count(), 1);
    const QStringList files = filesIn(m_dir->path());
    QCOMPARE(files, (QStringList{"20240131-142233_data.csv", "20240131-142233_data.tsv"}));
    QFile csv(m_dir->filePath(files[0])), tsv(m_dir->filePath(files[1]));
    QVERIFY(csv.open(QIODevice::ReadOnly) && tsv.open(QIODevice::ReadOnly));
    QCOMPARE(csv.readAll().replace(',', '\t'), tsv.readAll());
}

void TestBulkFileExporter::noData()
{
    m_exporter->writeAll();
    QCOMPARE(m_noData->count(), 1);
    audio(1);
    setEntries();
    m_exporter->writeAll(DataEntry::Field);
    QCOMPARE(m_noData->count(), 2);
    QCOMPARE(signalCount(), 2);
    QVERIFY(!m_exporter->isBusy());
    QVERIFY(filesIn(m_dir->path()).isEmpty());

    // Asked for while another exporter's save waits for its entry: it runs after it.
    FileExporter single;
    single.setDevice(m_device.get());
    single.setDataEntry(field(5));
    int runsBeforeSaved = -1;
    connect(&single, &FileExporter::dataSaved, this, [&] { runsBeforeSaved = signalCount(); });
    QTimer::singleShot(0, this, [this] { m_exporter->writeAll(DataEntry::Field); });
    single.write(m_dir->filePath("single.csv"));
    QCOMPARE(runsBeforeSaved, 2);
    QCOMPARE(m_noData->count(), 3);
    QCOMPARE(filesIn(m_dir->path()), QStringList{"single.csv"});

    // A run waiting its turn keeps the folder it was asked with.
    QTemporaryDir later;
    setEntries();
    QTimer::singleShot(0, this, [&] {
        m_exporter->writeAll(DataEntry::Field);
        m_exporter->setFolder(QUrl::fromLocalFile(later.path()));
    });
    single.write(m_dir->filePath("again.csv"));
    QCOMPARE(m_saved->count(), 1);
    QCOMPARE(filesIn(m_dir->path()),
             (QStringList{"20240131-140500_data.csv", "again.csv", "single.csv"}));
    QCOMPARE(filesIn(later.path()), QStringList());
}

void TestBulkFileExporter::cancelBeforeTheNextEntry()
{
    field(1);
    auto *second = new TestFieldEntry(startAt(2));
    m_entries.emplace_back(second);
    field(3);
    setEntries();
    bool busyDuringRun = false;
    bool askedAgain = false;
    connect(second, &DataEntry::loadingChanged, this, [&] {
        busyDuringRun = m_exporter->isBusy();
        // Waits for this run, and goes with its cancel.
        if (!std::exchange(askedAgain, true))
            m_exporter->writeAll(DataEntry::Audio);
        QTimer::singleShot(10, m_exporter.get(), &FileExporter::requestCancel);
    });

    m_exporter->writeAll();
    QVERIFY(busyDuringRun);
    QCOMPARE(m_cancelled->count(), 2);
    QCOMPARE(signalCount(), 2);
    QVERIFY(!m_exporter->isBusy());
    QCOMPARE(filesIn(m_dir->path()), QStringList{"20240131-140100_data.csv"});

    // The next run starts afresh.
    m_exporter->writeAll(DataEntry::Audio);
    QCOMPARE(m_noData->count(), 1);
}

void TestBulkFileExporter::cancelDuringTheLastEntry()
{
    field(1);
    auto *last = new TestFieldEntry(startAt(2));
    m_entries.emplace_back(last);
    setEntries();
    connect(last, &DataEntry::loadingChanged, this,
            [&] { QTimer::singleShot(10, m_exporter.get(), &FileExporter::requestCancel); });
    m_exporter->writeAll();
    QCOMPARE(m_cancelled->count(), 1);
    QCOMPARE(signalCount(), 1);
}

void TestBulkFileExporter::disconnectEndsTheRunAsCancelled()
{
    field(1);
    auto *second = new TestFieldEntry(startAt(2));
    m_entries.emplace_back(second);
    field(3);
    setEntries();
    connect(second, &DataEntry::loadingChanged, this,
            [&] { QTimer::singleShot(10, this, [&] { m_device->link(false); }); });
    m_exporter->writeAll();
    QCOMPARE(m_cancelled->count(), 1);
    QCOMPARE(signalCount(), 1);
    QCOMPARE(filesIn(m_dir->path()).size(), 1);
}

void TestBulkFileExporter::failuresEndInError()
{
    // One entry fails its checks, the others are written: the run still fails.
    field(1);
    auto *broken = new TestFieldEntry(startAt(2));
    m_entries.emplace_back(broken);
    connect(broken, &DataEntry::loadingChanged, this, [broken] {
        if (broken->isLoading())
            QTimer::singleShot(10, broken, [broken] { broken->fail(); });
    });
    field(3);
    setEntries();
    m_exporter->writeAll();
    QCOMPARE(m_errors->count(), 1);
    QCOMPARE(m_errors->first().first().toString(), QString("Unable to write to file."));
    QCOMPARE(signalCount(), 1);
    QCOMPARE(filesIn(m_dir->path()).size(), 2);

    // A folder that cannot take files.
    m_entries.clear();
    field(1);
    audio(2);
    setEntries();
    QFile blocker(m_dir->filePath("blocker"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    m_exporter->setFolder(QUrl::fromLocalFile(m_dir->filePath("blocker/sub")));
    m_exporter->writeAll(DataEntry::Field);
    m_exporter->writeAll(DataEntry::Audio);
    QCOMPARE(m_errors->count(), 3);
    QCOMPARE(m_saved->count(), 0);
}

void TestBulkFileExporter::concurrentRunsOnTheOwnThread()
{
    field(1);
    setEntries();
    m_exporter->writeAllConcurrent(DataEntry::Field, FileExporter::TSV);
    QCOMPARE(signalCount(), 0); // returns at once
    QTRY_COMPARE(m_saved->count(), 1);
    QCOMPARE(filesIn(m_dir->path()), QStringList{"20240131-140100_data.tsv"});
}

QTEST_MAIN(TestBulkFileExporter)
#include "tst_bulkfileexporter.moc"
