#include "fileexporter.h"
#include "fulldisk.h"
#include "testentries.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <ctime>
#include <memory>

namespace {

const QDateTime sessionStart(QDate(2024, 1, 31), QTime(13, 22, 33), Qt::UTC); // 14:22:33 here

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList filesIn(const QString &path)
{
    // System: a dangling link is listed too.
    return QDir(path).entryList(
        QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

// The session file as Qt's own number and date texts would give it.
QByteArray referenceText(const QList<FieldReading *> &readings, char separator, bool isPublic)
{
    const QString scale = isPublic ? "Pub" : "Occ";
    QStringList lines{QStringList{"# Timestamp", "Exposure [" + scale + " %]",
                                  "EField [" + scale + " %]", "HField [" + scale + " %]",
                                  "Alarm State", "6min Avg", "30min Avg"}
                          .join(separator)};
    auto row = [&](const QDateTime &time, const FieldReading *r) {
        const double exposure = r->EField() >= r->HField() ? r->EField() : r->HField();
        lines << QStringList{time.toString("yyyy/MM/dd HH:mm:ss"),
                             QString::number(exposure, 'g', 6),
                             QString::number(r->EField(), 'g', 6),
                             QString::number(r->HField(), 'g', 6),
                             QString::number(r->AlarmState()),
                             QString::number(r->SixMinAvg(), 'g', 6),
                             QString::number(r->ThirtyMinAvg(), 'g', 6)}
                     .join(separator);
    };
    for (int i = 0; i < readings.size(); ++i) {
        if (i > 0)
            row(readings[i]->dateTime(), readings[i - 1]);
        row(readings[i]->dateTime(), readings[i]);
    }
    return (lines.join('\n') + '\n').toUtf8();
}

} // namespace

class TestFileExporter : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void goldenFieldFile();
    void sessionMatchesReference_data();
    void sessionMatchesReference();
    void fewerThanTwoReadings();
    void collisionsAndOverwrite();
    void namesFromTheUser();
    void bothWritesTwoFiles();
    void audioFile();
    void unwritableTargetIsAnError();
    void nothingToExportIsAnError();
    void waitEndsWithoutSpinning();
    void waitEndsWhenLoadingStops_data();
    void waitEndsWhenLoadingStops();
    void cancelIsClearedByTheNextWrite();

private:
    // Runs a write while the entry gets `payload` from the event loop.
    void write(TestFieldEntry *entry, const QByteArray &payload, const QString &name,
               FileExporter::CharMode mode = FileExporter::CSV, bool overwrite = false);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TestDevice> m_device;
    std::unique_ptr<FileExporter> m_exporter;
    std::unique_ptr<QSignalSpy> m_saved;
    std::unique_ptr<QSignalSpy> m_errors;
};

void TestFileExporter::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_device = std::make_unique<TestDevice>();
    m_device->link(true);
    m_exporter = std::make_unique<FileExporter>();
    m_exporter->setDevice(m_device.get());
    m_saved = std::make_unique<QSignalSpy>(m_exporter.get(), &FileExporter::dataSaved);
    m_errors = std::make_unique<QSignalSpy>(m_exporter.get(),
                                            qOverload<const QString &>(&FileExporter::error));
}

void TestFileExporter::cleanup()
{
    m_errors.reset();
    m_saved.reset();
    m_exporter.reset();
    m_device.reset();
    m_dir.reset();
}

void TestFileExporter::write(TestFieldEntry *entry, const QByteArray &payload, const QString &name,
                             FileExporter::CharMode mode, bool overwrite)
{
    m_exporter->setDataEntry(entry);
    entry->feedOnLoad(payload);
    m_exporter->write(name, mode, overwrite);
}

void TestFileExporter::goldenFieldFile()
{
    TestFieldEntry entry(sessionStart);
    const QString name = m_dir->filePath("log.csv");
    write(&entry, fieldRecord(10, 0, 100) + fieldRecord(10, 200, 100), name);
    QCOMPARE(m_saved->count(), 1);
    QCOMPARE(m_errors->count(), 0);
    QCOMPARE(readFile(name),
             QByteArray("# Timestamp,Exposure [Occ %],EField [Occ %],HField [Occ %],Alarm State,"
                        "6min Avg,30min Avg\n"
                        "2024/01/31 14:22:43,200,200,20,3,1.9545,1.9545\n"
                        "2024/01/31 14:22:53,200,200,20,3,1.9545,1.9545\n"
                        "2024/01/31 14:22:53,20,2,20,0,7.45576,3.05475\n"));

    // The heading follows the instrument's public flag at export time.
    m_device->makePublic(true);
    const QString tsv = m_dir->filePath("log.tsv");
    write(&entry, fieldRecord(10, 0, 100) + fieldRecord(10, 200, 100), tsv, FileExporter::TSV);
    QVERIFY(readFile(tsv).startsWith("# Timestamp\tExposure [Pub %]\tEField [Pub %]\tHField [Pub "
                                     "%]\tAlarm State\t6min Avg\t30min Avg\n2024/01/31 "
                                     "14:22:43\t200\t200\t20\t3\t"));
}

void TestFileExporter::sessionMatchesReference_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("isPublic");
    QTest::addColumn<int>("readings");
    QTest::newRow("csv") << int(FileExporter::CSV) << false << 400;
    QTest::newRow("tsv public") << int(FileExporter::TSV) << true << 400;
    // Long sessions are formatted in parts: the joins must not show.
    QTest::newRow("csv long") << int(FileExporter::CSV) << false << 45001;
}

void TestFileExporter::sessionMatchesReference()
{
    QFETCH(int, mode);
    QFETCH(bool, isPublic);
    QFETCH(int, readings);
    m_device->makePublic(isPublic);
    TestFieldEntry entry(sessionStart, isPublic);
    const QString name = m_dir->filePath("session.txt");
    write(&entry, fieldSession(readings, readings > 1000 ? 250 : 10), name,
          FileExporter::CharMode(mode));
    QCOMPARE(entry.fieldReadings().size(), readings);
    QCOMPARE(readFile(name), referenceText(entry.fieldReadings(),
                                           mode == FileExporter::TSV ? '\t' : ',', isPublic));
}

void TestFileExporter::fewerThanTwoReadings()
{
    TestFieldEntry entry(sessionStart);
    write(&entry, fieldRecord(10, 50, 50), m_dir->filePath("one.csv"));
    QCOMPARE(m_saved->count(), 1);
    QCOMPARE(m_errors->count(), 0);
    QVERIFY(filesIn(m_dir->path()).isEmpty());
}

void TestFileExporter::collisionsAndOverwrite()
{
    TestFieldEntry entry(sessionStart);
    const QString name = m_dir->filePath("log.csv");
    for (int i = 0; i < 3; ++i)
        write(&entry, fieldSession(2 + i), name);
    QCOMPARE(filesIn(m_dir->path()), (QStringList{"log.csv", "log_1.csv", "log_2.csv"}));
    QCOMPARE(readFile(m_dir->filePath("log_2.csv")).count('\n'), 1 + 2 * 4 - 1);

    write(&entry, fieldSession(6), name, FileExporter::CSV, true);
    QCOMPARE(filesIn(m_dir->path()).size(), 3);
    QCOMPARE(readFile(name).count('\n'), 1 + 2 * 6 - 1);
    QCOMPARE(m_saved->count(), 4);
}

void TestFileExporter::namesFromTheUser()
{
    TestFieldEntry entry(sessionStart);
    write(&entry, fieldSession(2), m_dir->filePath("my.session.csv"));
    write(&entry, fieldSession(2), m_dir->filePath("my.session.csv"));
    write(&entry, fieldSession(2), m_dir->filePath("plain."));
    QCOMPARE(FileExporter::savedPath(m_dir->filePath("plain."), DataEntry::Field),
             m_dir->filePath("plain"));
    write(&entry, fieldSession(2), QUrl::fromLocalFile(m_dir->filePath("from url.csv")).toString());
    // A leading dot: inside the folder, not "reports.csv" beside it.
    QVERIFY(QDir(m_dir->path()).mkdir("reports"));
    write(&entry, fieldSession(2), m_dir->filePath("reports/.csv"), FileExporter::CSV, true);
    // A dangling link takes its name: the file it points at is never made.
    QVERIFY(QFile::link(m_dir->filePath("outside.csv"), m_dir->filePath("reports/log.csv")));
    write(&entry, fieldSession(2), m_dir->filePath("reports/log.csv"));
    QCOMPARE(filesIn(m_dir->path()), (QStringList{"from url.csv", "my.session.csv",
                                                  "my_1.session.csv", "plain", "reports"}));
    QCOMPARE(filesIn(m_dir->filePath("reports")), (QStringList{".csv", "log.csv", "log_1.csv"}));
    QCOMPARE(m_saved->count(), 6);
}

void TestFileExporter::bothWritesTwoFiles()
{
    TestFieldEntry entry(sessionStart);
    write(&entry, fieldSession(3), m_dir->filePath("pair.csv"), FileExporter::BOTH, true);
    write(&entry, fieldSession(3), m_dir->filePath("noext"), FileExporter::BOTH, true);
    QCOMPARE(filesIn(m_dir->path()),
             (QStringList{"noext.csv", "noext.tsv", "pair.csv", "pair.tsv"}));
    const QByteArray csv = readFile(m_dir->filePath("pair.csv"));
    const QByteArray tsv = readFile(m_dir->filePath("pair.tsv"));
    QCOMPARE(csv, referenceText(entry.fieldReadings(), ',', false));
    QCOMPARE(tsv, referenceText(entry.fieldReadings(), '\t', false));
    QCOMPARE(m_saved->count(), 2);
}

void TestFileExporter::audioFile()
{
    TestAudioEntry entry(sessionStart);
    m_exporter->setDataEntry(&entry);
    // 1510 bytes give 3020 sample bytes, 20 of them (10 samples) left after the trim.
    QByteArray samples(1510, char(127));
    samples[750] = char(0);
    entry.feedOnLoad(samples);
    m_exporter->write(m_dir->filePath("rec.mp3"));
    QCOMPARE(m_saved->count(), 1);
    QCOMPARE(filesIn(m_dir->path()), QStringList{"rec.wav"});
    QCOMPARE(FileExporter::savedPath(m_dir->filePath("rec.part2.mp3"), DataEntry::Audio),
             m_dir->filePath("rec.wav"));

    const QByteArray wav = readFile(m_dir->filePath("rec.wav"));
    QCOMPARE(wav.size(), 44 + 20);
    QCOMPARE(wav.left(4), QByteArray("RIFF"));
    QCOMPARE(qFromLittleEndian<quint32>(wav.constData() + 4), 56u);
    QCOMPARE(wav.mid(8, 8), QByteArray("WAVEfmt "));
    QCOMPARE(qFromLittleEndian<quint32>(wav.constData() + 16), 16u);
    QCOMPARE(qFromLittleEndian<quint16>(wav.constData() + 20), quint16(1));
    QCOMPARE(qFromLittleEndian<quint16>(wav.constData() + 22), quint16(1));
    QCOMPARE(qFromLittleEndian<quint32>(wav.constData() + 24), 7000u);
    QCOMPARE(qFromLittleEndian<quint32>(wav.constData() + 28), 14000u);
    QCOMPARE(qFromLittleEndian<quint16>(wav.constData() + 32), quint16(2));
    QCOMPARE(qFromLittleEndian<quint16>(wav.constData() + 34), quint16(16));
    QCOMPARE(wav.mid(36, 4), QByteArray("data"));
    QCOMPARE(qFromLittleEndian<quint32>(wav.constData() + 40), 20u);
    QCOMPARE(wav.mid(44), entry.rawData());
    QCOMPARE(qFromLittleEndian<qint16>(wav.constData() + 44), qint16((8 - 512) * 63));
}

void TestFileExporter::unwritableTargetIsAnError()
{
    // A folder where the file should go: CI runs as root, so no permission trick.
    QVERIFY(QDir(m_dir->path()).mkdir("taken.csv"));
    QVERIFY(QDir(m_dir->path()).mkdir("taken.wav"));
    TestFieldEntry field(sessionStart);
    write(&field, fieldSession(3), m_dir->filePath("taken.csv"), FileExporter::CSV, true);
    QCOMPARE(m_errors->count(), 1);
    QCOMPARE(m_errors->first().first().toString(), QString("Unable to write to file."));

    TestAudioEntry audio(sessionStart);
    m_exporter->setDataEntry(&audio);
    audio.feedOnLoad(QByteArray(100, 'x'));
    m_exporter->write(m_dir->filePath("taken.wav"), FileExporter::CSV, true);
    QCOMPARE(m_errors->count(), 2);

    write(&field, fieldSession(3), m_dir->filePath("no/such/folder/x.csv"));
    QCOMPARE(m_errors->count(), 3);
    QCOMPARE(m_saved->count(), 0);
    // Nothing half-written is left behind.
    QCOMPARE(filesIn(m_dir->path()), (QStringList{"taken.csv", "taken.wav"}));

    // A short session fits a write buffer: on a full disk only its flush fails.
    FullDisk disk(m_dir->path());
    const QString earlier = disk.path() + "/earlier.csv";
    QFile file(earlier);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("earlier") == 7);
    file.close();
    if (!disk.fill())
        QSKIP("Neither a small tmpfs nor a file-size limit could be set up");
    write(&field, fieldSession(30), earlier, FileExporter::CSV, true);
    disk.release();
    QCOMPARE(m_errors->count(), 4);
    QCOMPARE(m_saved->count(), 0);
    QVERIFY(referenceText(field.fieldReadings(), ',', false).size() > FullDisk::room());
    QCOMPARE(readFile(earlier), QByteArray("earlier"));
    QCOMPARE(filesIn(disk.path()), QStringList{"earlier.csv"});
}

void TestFileExporter::nothingToExportIsAnError()
{
    const QString name = m_dir->filePath("x.csv");
    m_exporter->write(name); // no entry yet
    TestFieldEntry entry(sessionStart);
    m_exporter->setDataEntry(&entry);
    m_exporter->setDevice(nullptr);
    m_exporter->write(name);
    m_exporter->setDevice(this); // not an instrument: kept as none
    m_exporter->write(name);
    m_exporter->setDevice(m_device.get());
    m_exporter->setDataEntry(this); // not an entry
    m_exporter->write(name);
    QCOMPARE(m_errors->count(), 4);
    QCOMPARE(m_saved->count(), 0);

    // An entry whose data fails its checks holds nothing worth saving.
    m_exporter->setDataEntry(&entry);
    QTimer::singleShot(20, &entry, [&] { entry.fail(); });
    m_exporter->write(name);
    QCOMPARE(m_errors->count(), 5);
    QCOMPARE(m_saved->count(), 0);
    QVERIFY(filesIn(m_dir->path()).isEmpty());
}

void TestFileExporter::waitEndsWithoutSpinning()
{
    TestFieldEntry entry(sessionStart);
    m_exporter->setDataEntry(&entry);
    bool busyWhileWaiting = false;
    QTimer::singleShot(400, &entry, [&] {
        busyWhileWaiting = m_exporter->property("isBusy").toBool();
        entry.feed(fieldSession(2));
    });
    const std::clock_t cpuBefore = std::clock();
    QElapsedTimer wall;
    wall.start();
    m_exporter->write(m_dir->filePath("slow.csv"));
    const double cpuMs = 1000.0 * double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    QVERIFY(wall.elapsed() >= 350);
    QCOMPARE(m_saved->count(), 1);
    QVERIFY(busyWhileWaiting);
    QVERIFY(!m_exporter->isBusy());
    QVERIFY2(cpuMs < 0.5 * double(wall.elapsed()), qPrintable(QString::number(cpuMs)));
}

void TestFileExporter::waitEndsWhenLoadingStops_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("saves");
    QTest::newRow("cancel") << "cancel" << false;
    QTest::newRow("disconnect") << "disconnect" << false;
    QTest::newRow("entry destroyed") << "entry" << false;
    QTest::newRow("device destroyed") << "device" << false;
    QTest::newRow("not connected") << "offline" << false;
    // The window is closing: a load queued now would never be served.
    QTest::newRow("instrument thread stopped") << "stopped" << false;
    // The user picks another session (its save dialog cancelled) while this one loads.
    QTest::newRow("other entry chosen") << "other" << true;
    // Its save, to the same name, waits for this one and then replaces it.
    QTest::newRow("other entry saved") << "other saved" << true;
}

void TestFileExporter::waitEndsWhenLoadingStops()
{
    QFETCH(QString, how);
    QFETCH(bool, saves);
    auto *entry = new TestFieldEntry(sessionStart);
    QPointer<TestFieldEntry> guard(entry);
    TestFieldEntry other(sessionStart.addSecs(3600));
    other.feed(fieldSession(5));
    other.feedOnLoad(fieldSession(5));
    m_exporter->setDataEntry(entry);
    if (how == "offline")
        m_device->link(false);
    if (how == "stopped") {
        m_device->start();
        m_device->stop();
        QVERIFY(m_device->wait(5000));
        // Ends a wait that would otherwise last for good.
        QTimer::singleShot(3000, entry, [entry] { entry->feed(fieldSession(2)); });
    }
    QTimer::singleShot(50, this, [&] {
        if (how == "cancel")
            m_exporter->requestCancel();
        else if (how == "disconnect")
            m_device->link(false);
        else if (how == "entry")
            delete guard.data();
        else if (how == "device")
            m_device.reset();
        else if (how.startsWith("other")) {
            m_exporter->setDataEntry(&other);
            if (how == "other saved")
                m_exporter->write(m_dir->filePath("wait.csv"), FileExporter::CSV, true);
            entry->feed(fieldSession(2));
        }
    });
    QElapsedTimer wall;
    wall.start();
    m_exporter->write(m_dir->filePath("wait.csv"), FileExporter::CSV, true);
    QVERIFY(wall.elapsed() < 5000);
    QCOMPARE(m_errors->count(), saves ? 0 : 1);
    const bool second = how == "other saved";
    QCOMPARE(m_saved->count(), saves ? 1 + second : 0);
    if (saves) {
        QCOMPARE(readFile(m_dir->filePath("wait.csv")),
                 referenceText((second ? &other : entry)->fieldReadings(), ',', false));
        QCOMPARE(m_exporter->dataEntry(), &other);
    } else {
        QVERIFY(filesIn(m_dir->path()).isEmpty());
    }
    QTest::qWait(80); // let the pending action run before the next case
    delete guard.data();
}

void TestFileExporter::cancelIsClearedByTheNextWrite()
{
    TestFieldEntry entry(sessionStart);
    m_exporter->requestCancel();
    write(&entry, fieldSession(2), m_dir->filePath("after-cancel.csv"));
    QCOMPARE(m_saved->count(), 1);
    QCOMPARE(filesIn(m_dir->path()), QStringList{"after-cancel.csv"});
}

QTEST_MAIN(TestFileExporter)
#include "tst_fileexporter.moc"
