#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QtTest>

#ifdef QV_WITH_ENTRIES
#include "entryfactory.h"
#include "fieldlineseries.h"
#endif

// The module as the application's documents see it: found on the import path
// by its qmldir, every type creatable under its own name.
class TestFrelkitModule : public QObject
{
    Q_OBJECT

private slots:
    void typesAreCreatable_data();
    void typesAreCreatable();
    void seriesFollowThePresenter();
    void presenterModesByName();
};

void TestFrelkitModule::typesAreCreatable_data()
{
    QTest::addColumn<QString>("type");
    QStringList types{"AudiostreamPlayer", "Clipboard", "PlotSaver"};
#ifdef QV_WITH_ENTRIES
    types << "DataEntryPresenter"
          << "ExposureLineSeries"
          << "EFieldLineSeries"
          << "HFieldLineSeries"
          << "SixMinAverageLineSeries"
          << "ThirtyMinAverageLineSeries";
#endif
    for (const QString &type : types)
        QTest::newRow(qPrintable(type)) << type;
}

void TestFrelkitModule::typesAreCreatable()
{
    QFETCH(QString, type);
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData(("import Frelkit 1.0\n" + type + " {}\n").toUtf8(), QUrl("inline.qml"));
    QScopedPointer<QObject> object(component.create());
    QVERIFY2(object, qPrintable(component.errorString()));
    QCOMPARE(QString::fromLatin1(object->metaObject()->className()), type);
}

// The data screen's wiring: the series bind their session to the presenter's
// typed property, the body picks its view by the presenter's mode.
void TestFrelkitModule::seriesFollowThePresenter()
{
#ifndef QV_WITH_ENTRIES
    QSKIP("built without the instrument library");
#else
    TestFieldEntry entry;
    entry.deliver(4);
    TestAudioEntry audio;

    QQmlEngine engine;
    engine.rootContext()->setContextProperty("chosen", QVariant::fromValue<QObject *>(nullptr));
    QQmlComponent component(&engine);
    component.setData(R"(
        import QtQuick
        import Frelkit 1.0
        Item {
            property int redraws: 0
            property alias presenter: presenter
            property alias exposure: exposure
            property alias eField: eField
            DataEntryPresenter { id: presenter; dataEntry: chosen }
            ExposureLineSeries {
                id: exposure
                fieldEntry: presenter.fieldDataEntry
                onVerticesChanged: redraws++
            }
            EFieldLineSeries { id: eField; fieldEntry: presenter.fieldDataEntry }
        }
    )",
                      QUrl("inline.qml"));
    QScopedPointer<QObject> root(component.create());
    QVERIFY2(root, qPrintable(component.errorString()));
    auto *exposure = root->property("exposure").value<FieldLineSeries *>();
    auto *eField = root->property("eField").value<FieldLineSeries *>();
    QVERIFY(exposure && eField);
    QVERIFY(exposure->vertices().isEmpty());

    engine.rootContext()->setContextProperty("chosen", &entry);
    QCOMPARE(exposure->fieldEntry(), &entry);
    QCOMPARE(exposure->vertices().size(), 6);
    QCOMPARE(eField->vertices().size(), 6);
    QVERIFY(root->property("redraws").toInt() >= 1);

    entry.deliver(6);
    QCOMPARE(exposure->vertices().size(), 10);
    QCOMPARE(eField->vertices().size(), 10);

    // An audio session leaves the series empty.
    engine.rootContext()->setContextProperty("chosen", &audio);
    QCOMPARE(exposure->fieldEntry(), nullptr);
    QVERIFY(exposure->vertices().isEmpty());
    QVERIFY(eField->vertices().isEmpty());
#endif
}

void TestFrelkitModule::presenterModesByName()
{
#ifndef QV_WITH_ENTRIES
    QSKIP("built without the instrument library");
#else
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData(R"(
        import QtQml
        import Frelkit 1.0
        QtObject {
            property DataEntryPresenter presenter: DataEntryPresenter {}
            property var names: [DataEntryPresenter.Nothing, DataEntryPresenter.Field,
                                 DataEntryPresenter.Audio, DataEntryPresenter.Unknown]
            property bool startsWithNothing: presenter.mode === DataEntryPresenter.Nothing
        }
    )",
                      QUrl("inline.qml"));
    QScopedPointer<QObject> root(component.create());
    QVERIFY2(root, qPrintable(component.errorString()));
    QCOMPARE(root->property("names").toList(), (QVariantList{0, 1, 2, 3}));
    QVERIFY(root->property("startsWithNothing").toBool());
#endif
}

QTEST_MAIN(TestFrelkitModule)
#include "tst_frelkitmodule.moc"
