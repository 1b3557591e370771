#include <QQmlComponent>
#include <QQmlEngine>
#include <QtTest>

// The module as the application's documents see it: found on the import path
// by its qmldir, every type creatable under its own name.
class TestFrelkitModule : public QObject
{
    Q_OBJECT

private slots:
    void typesAreCreatable_data();
    void typesAreCreatable();
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

QTEST_MAIN(TestFrelkitModule)
#include "tst_frelkitmodule.moc"
