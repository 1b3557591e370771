#include <QQmlComponent>
#include <QQmlEngine>
#include <QTest>

// The module as QML sees it, loaded through its qmldir on the import path.
class TestEngineQml : public QObject
{
    Q_OBJECT

private:
    QObject *create(QQmlEngine &engine, const QByteArray &body, QString *errors = nullptr)
    {
        QQmlComponent component(&engine);
        component.setData("import QtQml\nimport Quorvantis 1.0\n" + body, QUrl());
        QObject *object = component.create();
        if (errors)
            *errors = component.errorString();
        return object;
    }

private slots:
    void enumerationsAndCreatableTypes()
    {
        QQmlEngine engine;
        QString errors;
        std::unique_ptr<QObject> object(
            create(engine,
                   "QtObject {\n"
                   "  property int failed: Message.Failed\n"
                   "  property int timeout: Message.Timeout\n"
                   "  property Version version: Version {}\n"
                   "  property DelayedMessage delayed: DelayedMessage { delay: 7 }\n"
                   "  property string text: version.humanize\n"
                   "}\n",
                   &errors));
        QVERIFY2(object, qPrintable(errors));
        QCOMPARE(object->property("failed").toInt(), 255);
        QCOMPARE(object->property("timeout").toInt(), 1);
        QCOMPARE(object->property("text").toString(), QStringLiteral("0.0.0"));
        auto *delayed = object->property("delayed").value<QObject *>();
        QVERIFY(delayed);
        QCOMPARE(delayed->property("delay").toUInt(), 7u);
    }

    void messageCannotBeCreated()
    {
        QQmlEngine engine;
        QString errors;
        std::unique_ptr<QObject> object(create(engine, "Message {}\n", &errors));
        QVERIFY(!object);
        QVERIFY2(errors.contains("Message is an abstract class, instantiate specific packets from "
                                 "the Quorvantis namespace instead."),
                 qPrintable(errors));
    }
};

QTEST_GUILESS_MAIN(TestEngineQml)
#include "test_engine_qml.moc"
