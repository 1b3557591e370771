#include "bulkfileexporter.h"
#include "testentries.h"

#include <QDir>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

// The module as the screens use it: by URI from the import path.
class TestExportQml : public QObject
{
    Q_OBJECT

private slots:
    void enumeratorsResolve();
    void writeAllTakesTheEntryTypeFromQml();
    void clipboardExportersLiveAndDie();

private:
    std::unique_ptr<QObject> create(const QByteArray &qml)
    {
        QQmlComponent component(&m_engine);
        component.setData(qml, QUrl("qrc:/test.qml"));
        std::unique_ptr<QObject> object(component.create());
        if (!object)
            qWarning() << component.errors();
        return object;
    }

    QQmlEngine m_engine;
};

void TestExportQml::enumeratorsResolve()
{
    const auto root = create(R"(
        import QtQml
        import QuorvantisExport
        import QuorvantisExport as QuorvantisExport
        QtObject {
            property var values: [QuorvantisExport.BulkFileExporter.Field,
                                  QuorvantisExport.BulkFileExporter.Audio,
                                  BulkFileExporter.Undefined,
                                  BulkFileExporter.CSV, BulkFileExporter.TSV, BulkFileExporter.BOTH,
                                  FileExporter.CSV, FileExporter.TSV, FileExporter.BOTH]
        })");
    QVERIFY(root);
    QCOMPARE(root->property("values").toList(), (QVariantList{1, 2, -1, 0, 1, 2, 0, 1, 2}));
}

void TestExportQml::writeAllTakesTheEntryTypeFromQml()
{
    const auto root = create(R"(
        import QtQml
        import QuorvantisExport
        QtObject {
            property BulkFileExporter bulk: BulkFileExporter {}
            function audioRun() { bulk.writeAll(BulkFileExporter.Audio) }
            function tsvRun() { bulk.writeAll(BulkFileExporter.Field, BulkFileExporter.TSV) }
            // The audio save passes null as the char mode.
            function audioSave(name) { bulk.write(name, null, true) }
        })");
    QVERIFY(root);
    auto *bulk = root->property("bulk").value<BulkFileExporter *>();
    QVERIFY(bulk);

    QTemporaryDir dir;
    TestDevice device;
    device.link(true);
    const QDateTime start(QDate(2024, 1, 31), QTime(13, 22, 33), Qt::UTC);
    TestAudioEntry audio(start);
    audio.feedOnLoad(QByteArray(100, char(90)));
    TestFieldEntry field(start.addSecs(1));
    field.feedOnLoad(fieldSession(3));
    bulk->setDevice(&device);
    bulk->setDataEntries({&audio, &field});
    bulk->setFolder(QUrl::fromLocalFile(dir.path()));
    QSignalSpy saved(bulk, &FileExporter::dataSaved);

    QMetaObject::invokeMethod(root.get(), "audioRun");
    QMetaObject::invokeMethod(root.get(), "tsvRun");
    QCOMPARE(saved.count(), 2);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
             (QStringList{"20240131-142233_voice.wav", "20240131-142234_data.tsv"}));

    bulk->setDataEntry(&audio);
    QMetaObject::invokeMethod(root.get(), "audioSave",
                              Q_ARG(QVariant, QUrl::fromLocalFile(dir.filePath("mine.mp3"))));
    QCOMPARE(saved.count(), 3);
    QVERIFY(QFileInfo::exists(dir.filePath("mine.wav")));
}

void TestExportQml::clipboardExportersLiveAndDie()
{
    auto root = create(R"(
        import QtQml
        import QuorvantisExport
        QtObject {
            property CommaSeparatedExporter csv: CommaSeparatedExporter {}
            property TabSeparatedExporter tsv: TabSeparatedExporter {}
        })");
    QVERIFY(root);
    auto *csv = root->property("csv").value<QThread *>();
    auto *tsv = root->property("tsv").value<QThread *>();
    QVERIFY(csv && tsv);
    QVERIFY(csv->isRunning() && tsv->isRunning());
    root.reset();
}

QTEST_MAIN(TestExportQml)
#include "tst_exportqml.moc"
