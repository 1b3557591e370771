#include "datafolder.h"
#include "fulldisk.h"
#include "settrove.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

class TestSettrove : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void dataFolderFollowsProgramData();
    void dataFolderFallsBackToUserDataLocation();
    void goodFileLoadsWithoutRewriting();
    void brokenFilesAreReplacedByDefaults_data();
    void brokenFilesAreReplacedByDefaults();
    void unreadableFileReportsBothFailures_data();
    void unreadableFileReportsBothFailures();
    void dottedKeysRead();
    void setValueWritesAtOnceAndBuildsObjects();
    void setValueBeforeLoadReplacesFile();
    void blockedWriteKeepsChangesForTheNextSave();
    void qmlSeesMissingKeyAsUndefined();

private:
    QString configPath() const { return folder() + QStringLiteral("/config.json"); }
    QString folder() const { return base + QStringLiteral("/QuorvANTIS Talvenor"); }
    void writeConfig(const QByteArray &bytes);
    QJsonObject readConfig() const;

    std::unique_ptr<QTemporaryDir> tmp;
    QString base; // "ProgramData"
};

void TestSettrove::init()
{
    tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(tmp->isValid());
    base = tmp->path();
    qputenv("ProgramData", base.toUtf8());
}

void TestSettrove::cleanup()
{
    qunsetenv("ProgramData");
    tmp.reset();
}

void TestSettrove::writeConfig(const QByteArray &bytes)
{
    QDir().mkpath(folder());
    QFile file(configPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QJsonObject TestSettrove::readConfig() const
{
    QFile file(configPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

void TestSettrove::dataFolderFollowsProgramData()
{
    const QString base = tmp->path() + QStringLiteral("/missing/parents");
    qputenv("ProgramData", base.toUtf8());
    const QString path = settrove::dataFolder();
    QCOMPARE(path, base + QStringLiteral("/QuorvANTIS Talvenor"));
    QVERIFY(QFileInfo(path).isDir());
}

void TestSettrove::dataFolderFallsBackToUserDataLocation()
{
    const QByteArray oldDataHome = qgetenv("XDG_DATA_HOME");
    qputenv("ProgramData", "");
    qputenv("XDG_DATA_HOME", tmp->path().toUtf8());
    const QString path = settrove::dataFolder();
    qputenv("XDG_DATA_HOME", oldDataHome);
    QCOMPARE(path, folder());
    QVERIFY(QFileInfo(path).isDir());
}

void TestSettrove::goodFileLoadsWithoutRewriting()
{
    const QByteArray content = R"({"firstTimeRun": false, "custom": {"depth": 3}})";
    writeConfig(content);

    Settrove store;
    QSignalSpy loaded(&store, &Settrove::loadedChanged);
    QSignalSpy errors(&store, &Settrove::configError);
    QVERIFY(store.load());
    QCOMPARE(loaded.count(), 1);
    QCOMPARE(loaded.at(0).at(0).toBool(), true);
    QCOMPARE(errors.count(), 0);
    QVERIFY(store.isLoaded());
    QCOMPARE(store.getValue("firstTimeRun").toBool(), false);
    QCOMPARE(store.getValue("custom.depth").toInt(), 3);

    // Nothing changed, so closing leaves the file exactly as the user left it.
    store.save();
    QFile file(configPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), content);
}

void TestSettrove::brokenFilesAreReplacedByDefaults_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: no file at all
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("warning");

    QJsonParseError parseError;
    QJsonDocument::fromJson("{\"a\": ", &parseError);
    const QString parserText = parseError.errorString();

    QTest::newRow("missing") << QByteArray() << "Config file not found"
                             << "Config file does not exist: config.json";
    QTest::newRow("unparseable") << QByteArray("{\"a\": ") << "JSON parse error:" + parserText
                                 << "JSON parse error: " + parserText;
    QTest::newRow("array") << QByteArray("[1, 2]")
                           << "Config file does not contain a valid JSON object."
                           << "Config file does not contain a valid JSON object.";
    // Valid, but far past anything the program writes: not read into memory.
    QTest::newRow("oversized") << "{" + QByteArray(2 * 1024 * 1024, ' ') + "}"
                               << "Failed to open config file for reading"
                               << "Failed to open config file for reading: config.json";
}

void TestSettrove::brokenFilesAreReplacedByDefaults()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    QFETCH(QString, warning);
    if (!content.isEmpty())
        writeConfig(content);

    Settrove store;
    QSignalSpy loaded(&store, &Settrove::loadedChanged);
    QSignalSpy errors(&store, &Settrove::configError);
    QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    QVERIFY(store.load());

    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), error);
    QCOMPARE(store.lastError(), error);
    QVERIFY(store.isLoaded());
    QCOMPARE(loaded.count(), 0);
    QVERIFY(!store.isDirty());

    const QJsonObject expected{{"firstTimeRun", true}, {"optInForAutoCalCheck", true}};
    QCOMPARE(readConfig(), expected);
    QCOMPARE(store.getValue("optInForAutoCalCheck").toBool(), true);
}

void TestSettrove::unreadableFileReportsBothFailures_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("folder") << "folder";           // cannot be read, nor replaced
    QTest::newRow("pipe") << "pipe";               // would block the start for good
    QTest::newRow("link to a device") << "device"; // never ends
}

void TestSettrove::unreadableFileReportsBothFailures()
{
    QFETCH(QString, kind);
    QVERIFY(QDir().mkpath(folder()));
    if (kind == "folder")
        QVERIFY(QDir().mkpath(configPath()));
    else if (kind == "pipe")
        QCOMPARE(::mkfifo(QFile::encodeName(configPath()).constData(), 0600), 0);
    else
        QVERIFY(QFile::link("/dev/zero", configPath()));

    Settrove store;
    QSignalSpy errors(&store, &Settrove::configError);
    QTest::ignoreMessage(QtWarningMsg, "Failed to open config file for reading: config.json");
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression("^Failed to open config file for writing: config.json"));
    QVERIFY(store.load());

    QCOMPARE(errors.count(), 2);
    QCOMPARE(errors.at(0).at(0).toString(),
             QStringLiteral("Failed to open config file for writing: config.json"));
    QCOMPARE(errors.at(1).at(0).toString(),
             QStringLiteral("Failed to open config file for reading"));
    QCOMPARE(store.lastError(), QStringLiteral("Failed to open config file for reading"));
    QVERIFY(store.isLoaded());
    QVERIFY(store.isDirty());
    // Left in place: the defaults are not written through the link either.
    const QFileInfo left(configPath());
    QVERIFY(left.exists() && !left.isFile() && left.isSymLink() == (kind == "device"));
    QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks),
             QStringList());
    // The defaults still answer from memory.
    QCOMPARE(store.getValue("firstTimeRun").toBool(), true);
}

void TestSettrove::dottedKeysRead()
{
    writeConfig(R"({"a": 5, "n": {"b": null, "c": {"d": "deep"}},
                    "": {"": "empty names"}, "x": {"": 7}})");
    Settrove store;

    QTest::ignoreMessage(QtWarningMsg, "Config document is not a valid JSON object.");
    QCOMPARE(store.getValue("a", 42).toInt(), 42); // before load

    QVERIFY(store.load());
    QCOMPARE(store.getValue("n.c.d").toString(), QStringLiteral("deep"));
    QCOMPARE(store.getValue("a.b", "fallback").toString(), QStringLiteral("fallback"));

    const QVariant null = store.getValue("n.b", "fallback");
    QVERIFY(null.isValid());
    QVERIFY(null.isNull());

    QCOMPARE(store.getValue("n.missing", 9).toInt(), 9);
    QVERIFY(!store.getValue("n.missing").isValid());
    QVERIFY(!store.getValue("missing.deeper").isValid());
    QCOMPARE(store.getValue("x.").toInt(), 7);
    QCOMPARE(store.getValue(".").toString(), QStringLiteral("empty names"));
    QCOMPARE(store.getValue("N.c.d", 0).toInt(), 0); // case-sensitive
}

void TestSettrove::setValueWritesAtOnceAndBuildsObjects()
{
    writeConfig(R"({"a": 5, "keep": {"me": true}})");
    Settrove store;
    QVERIFY(store.load());

    store.setValue("a.b", 1);
    store.setValue("new.level.leaf", "text");
    store.setValue("keep.other", false);
    QVERIFY(!store.isDirty());

    const QJsonObject file = readConfig();
    QCOMPARE(file.value("a").toObject(), (QJsonObject{{"b", 1}}));
    QCOMPARE(file.value("new").toObject().value("level").toObject().value("leaf").toString(),
             QStringLiteral("text"));
    QCOMPARE(file.value("keep").toObject(), (QJsonObject{{"me", true}, {"other", false}}));
    QCOMPARE(store.getValue("a.b").toInt(), 1);

    // The same value again still reaches the disk.
    QVERIFY(QFile::remove(configPath()));
    store.setValue("a.b", 1);
    QCOMPARE(readConfig().value("a").toObject(), (QJsonObject{{"b", 1}}));

    // Written indented, so the user can read it.
    QFile raw(configPath());
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QVERIFY(raw.readAll().contains("\n    \""));
}

void TestSettrove::setValueBeforeLoadReplacesFile()
{
    writeConfig(R"({"firstTimeRun": false, "other": 1})");
    Settrove store;
    QSignalSpy errors(&store, &Settrove::configError);
    store.setValue("optInForAutoCalCheck", false);
    QCOMPARE(errors.count(), 0);
    QVERIFY(!store.isLoaded());
    QCOMPARE(readConfig(), (QJsonObject{{"optInForAutoCalCheck", false}}));
}

void TestSettrove::blockedWriteKeepsChangesForTheNextSave()
{
    writeConfig(R"({"firstTimeRun": true})");
    Settrove store;
    QVERIFY(store.load());
    QVERIFY(QFile::remove(configPath()));
    QVERIFY(QDir().mkpath(configPath()));

    QSignalSpy errors(&store, &Settrove::configError);
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression("^Failed to open config file for writing: config.json"));
    store.setValue("firstTimeRun", false);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(),
             QStringLiteral("Failed to open config file for writing: config.json"));
    QVERIFY(store.isDirty());
    QCOMPARE(store.lastError(), QString());
    QCOMPARE(store.getValue("firstTimeRun").toBool(), false);
    // No stray temporary file is left beside the configuration.
    QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden), QStringList());

    QVERIFY(QDir(configPath()).removeRecursively());
    store.save();
    QCOMPARE(errors.count(), 1);
    QVERIFY(!store.isDirty());
    QCOMPARE(readConfig(), (QJsonObject{{"firstTimeRun", false}}));

    // On a full disk the earlier file stays whole: it was once left empty, and
    // the next start asked for consent again.
    FullDisk disk(tmp->path());
    base = disk.path();
    qputenv("ProgramData", base.toUtf8());
    writeConfig(R"({"firstTimeRun": false})");
    Settrove full;
    QVERIFY(full.load());
    if (!disk.fill())
        QSKIP("Neither a small tmpfs nor a file-size limit could be set up");
    QSignalSpy fullErrors(&full, &Settrove::configError);
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^Failed to open config file for writing"));
    full.setValue("note", QString(3000, 'n')); // past what is left, within a write buffer
    disk.release();
    QCOMPARE(fullErrors.count(), 1);
    QVERIFY(full.isDirty());
    QCOMPARE(readConfig(), (QJsonObject{{"firstTimeRun", false}}));
    QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden), QStringList{"config.json"});
}

void TestSettrove::qmlSeesMissingKeyAsUndefined()
{
    writeConfig(R"({"optInForAutoCalCheck": false})");
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData(R"(
        import QtQml
        import Settrove
        Settrove {
            property var missing: "not read"
            property var optIn
            property bool result: false
            Component.onCompleted: {
                result = load()
                missing = getValue("no.such.key")
                optIn = getValue("optInForAutoCalCheck", true)
            }
        })",
                      QUrl());
    std::unique_ptr<QObject> object(component.create());
    QVERIFY2(object, qPrintable(component.errorString()));
    QCOMPARE(object->property("result").toBool(), true);
    QCOMPARE(object->property("loaded").toBool(), true);
    QVERIFY(!object->property("missing").isValid());
    QCOMPARE(object->property("optIn").toBool(), false);
}

QTEST_GUILESS_MAIN(TestSettrove)
#include "tst_settrove.moc"
