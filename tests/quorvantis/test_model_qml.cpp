#include "dataentry.h"
#include "message.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QTest>

// The entry types and packets as QML sees them through the module.
class TestModelQml : public QObject
{
    Q_OBJECT

private:
    QObject *create(QQmlEngine &engine, const QByteArray &body, QString *errors)
    {
        QQmlComponent component(&engine);
        component.setData("import QtQml\nimport Quorvantis 1.0\n" + body, QUrl());
        QObject *object = component.create();
        *errors = component.errorString();
        return object;
    }

private slots:
    void entriesCannotBeDeclared_data()
    {
        QTest::addColumn<QByteArray>("type");
        QTest::newRow("DataEntry") << QByteArray("DataEntry");
        QTest::newRow("FieldDataEntry") << QByteArray("FieldDataEntry");
        QTest::newRow("AudioDataEntry") << QByteArray("AudioDataEntry");
    }

    void entriesCannotBeDeclared()
    {
        QFETCH(QByteArray, type);
        QQmlEngine engine;
        QString errors;
        std::unique_ptr<QObject> object(create(engine, type + " {}\n", &errors));
        QVERIFY(!object);
        QVERIFY2(errors.contains("DataEntries cannot be instantiated, they will be provided by "
                                 "the FetchDataEntries packet type."),
                 qPrintable(errors));
    }

    void enumerationsAndPacketsOfTheScreens()
    {
        QQmlEngine engine;
        QString errors;
        std::unique_ptr<QObject> object(create(engine,
                                               "QtObject {\n"
                                               "  property int field: DataEntry.Field\n"
                                               "  property int audio: DataEntry.Audio\n"
                                               "  property int undefinedType: DataEntry.Undefined\n"
                                               "  property QtObject status: DeviceStatus {}\n"
                                               "  property QtObject erase: Erase {}\n"
                                               "  property QtObject reset: Reset {}\n"
                                               "}\n",
                                               &errors));
        QVERIFY2(object, qPrintable(errors));
        QCOMPARE(object->property("field").toInt(), 1);
        QCOMPARE(object->property("audio").toInt(), 2);
        QCOMPARE(object->property("undefinedType").toInt(), -1);
        for (const char *name : {"status", "erase", "reset"})
            QVERIFY(qobject_cast<Message *>(object->property(name).value<QObject *>()));
        QVERIFY(QMetaType::fromName("UserTrigger*").isValid());
    }
};

QTEST_GUILESS_MAIN(TestModelQml)
#include "test_model_qml.moc"
