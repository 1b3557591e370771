// The file exporters against the instrument model over the simulated
// instrument: each write reloads its entry through the real device thread.

#include "audiodataentry.h"
#include "bulkfileexporter.h"
#include "fileexporter.h"
#include "scenario.h"
#include "scenarioinstrument.h"
#include "simulatedquorvantisdevice.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

// Oldest first; the instrument lists them newest first.
const QByteArray scenarioJson = R"({
  "identity": {"barcode": 42, "databaseId": 7, "hardwareVersion": 3},
  "isPublic": true,
  "sessions": [
    {"type": "field", "start": "2026-03-01T14:00:00Z", "records": [[0, 120, 130], [5, 110, 140], [7, 0, 254]]},
    {"type": "audio", "start": "2026-03-01T15:00:00Z", "samples": [128, 130, 127, 0, 254]},
    {"type": "field", "start": "2026-03-02T09:30:00Z", "records": [[3, 50, 60], [1, 51, 61]]}
  ]
})";

QStringList filesIn(const QString &path)
{
    return QDir(path).entryList(QDir::Files, QDir::Name);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestExportRoad : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void sessionFilesFromTheInstrument();
    void bulkRunFromTheInstrument();
    void unplugDuringABulkRun();

private:
    QList<DataEntry *> entries() const;

    std::unique_ptr<ScenarioInstrument> m_instrument;
    std::unique_ptr<SimulatedQuorvAntisDevice> m_device;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestExportRoad::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_instrument = std::make_unique<ScenarioInstrument>();
    Scenario scenario;
    QString error;
    QVERIFY2(scenario.loadJson(scenarioJson, &error) && m_instrument->load(scenario, &error),
             qPrintable(error));
    m_device = std::make_unique<SimulatedQuorvAntisDevice>(&m_instrument->simulator());
    m_device->setCommunicationTimeout(100);
    m_device->start();
    QTRY_VERIFY_WITH_TIMEOUT(m_device->hasAllHeaders(), 10000);
    QCoreApplication::sendPostedEvents();
    QTRY_COMPARE(entries().size(), 3);
}

void TestExportRoad::cleanup()
{
    m_device.reset();
    m_instrument.reset();
    m_dir.reset();
}

QList<DataEntry *> TestExportRoad::entries() const
{
    QList<DataEntry *> list;
    for (QObject *object : m_device->dataEntries())
        list.append(qobject_cast<DataEntry *>(object));
    return list;
}

void TestExportRoad::sessionFilesFromTheInstrument()
{
    FileExporter exporter;
    QSignalSpy saved(&exporter, &FileExporter::dataSaved);
    exporter.setDevice(m_device.get());
    exporter.setDataEntry(entries().at(0)); // newest: two readings
    exporter.write(QUrl::fromLocalFile(m_dir->filePath("newest.csv")).toString(), FileExporter::CSV,
                   true);
    QCOMPARE(saved.count(), 1);
    const QList<QByteArray> lines = readFile(m_dir->filePath("newest.csv")).split('\n');
    QCOMPARE(lines.size(), 1 + 3 + 1);
    QCOMPARE(lines[0], QByteArray("# Timestamp,Exposure [Pub %],EField [Pub %],HField [Pub %],"
                                  "Alarm State,6min Avg,30min Avg"));
    // Start 09:30:00 UTC is 10:30:00 in Berlin; E 1000 x 10^-0.5, H 1000 x 10^-0.6.
    QVERIFY(lines[1].startsWith("2026/03/02 10:30:03,316.228,316.228,251.189,2,"));
    QVERIFY(lines[2].startsWith("2026/03/02 10:30:04,316.228,316.228,251.189,2,"));
    QVERIFY(lines[3].startsWith("2026/03/02 10:30:04,309.03,309.03,245.471,2,"));

    exporter.setDataEntry(entries().at(1));
    exporter.write(m_dir->filePath("clip.wav"));
    QCOMPARE(saved.count(), 2);
    auto *audio = qobject_cast<AudioDataEntry *>(entries().at(1));
    QCOMPARE(readFile(m_dir->filePath("clip.wav")), audio->wavData());
    QCOMPARE(filesIn(m_dir->path()), (QStringList{"clip.wav", "newest.csv"}));
}

void TestExportRoad::bulkRunFromTheInstrument()
{
    BulkFileExporter exporter;
    QSignalSpy saved(&exporter, &FileExporter::dataSaved);
    exporter.setDevice(m_device.get());
    exporter.setDataEntries(m_device->dataEntries());
    exporter.setFolder(QUrl::fromLocalFile(m_dir->path()));
    exporter.writeAll(DataEntry::Field, FileExporter::TSV);
    exporter.writeAll(DataEntry::Audio);
    QCOMPARE(saved.count(), 2);
    QCOMPARE(filesIn(m_dir->path()),
             (QStringList{"20260301-150000_data.tsv", "20260301-160000_voice.wav",
                          "20260302-103000_data.tsv"}));
    QCOMPARE(readFile(m_dir->filePath("20260301-150000_data.tsv")).count('\n'), 1 + 5);
}

void TestExportRoad::unplugDuringABulkRun()
{
    BulkFileExporter exporter;
    QSignalSpy cancelled(&exporter, &FileExporter::cancelled);
    QSignalSpy others(&exporter, &FileExporter::dataSaved);
    exporter.setDevice(m_device.get());
    exporter.setDataEntries(m_device->dataEntries());
    exporter.setFolder(QUrl::fromLocalFile(m_dir->path()));
    // As the shell does: a disconnection during the run asks for a cancel.
    connect(m_device.get(), &Device::disconnected, &exporter, [&] {
        if (exporter.isBusy())
            exporter.requestCancel();
    });
    // Pulled out while the second field session loads; slow replies make sure
    // its read is still under way then.
    m_instrument->simulator().setReplyDelay(std::chrono::milliseconds(60));
    DataEntry *second = entries().at(2);
    connect(second, &DataEntry::loadingChanged, this, [&, second] {
        if (second->isLoading())
            m_instrument->simulator().unplug();
    });
    exporter.writeAll(DataEntry::Field, FileExporter::CSV);
    QCOMPARE(cancelled.count(), 1);
    QCOMPARE(others.count(), 0);
    QVERIFY(!exporter.isBusy());
    QCOMPARE(filesIn(m_dir->path()), QStringList{"20260302-103000_data.csv"});
}

QTEST_MAIN(TestExportRoad)
#include "tst_exportroad.moc"
