// The main window's pure helpers, run by the QML engine as the window runs them.
#include "contentscript.h"

#include <QDate>
#include <QDateTime>
#include <QJSValue>
#include <QTest>

class TestShellLogic : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void padNumber_data();
    void padNumber();
    void appIsCurrentAndUpdates();
    void calibrationText_data();
    void calibrationText();
    void dateOnlyIsThatDayInLocalTime();
    void progressPercent();

private:
    ContentScript m_script;
};

void TestShellLogic::initTestCase()
{
    QVERIFY2(m_script.load(QStringLiteral("ShellLogic.mjs")), qPrintable(m_script.error()));
}

void TestShellLogic::padNumber_data()
{
    QTest::addColumn<QJSValue>("number");
    QTest::addColumn<int>("length");
    QTest::addColumn<QJSValue>("pad");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zeros") << QJSValue(42) << 7 << QJSValue() << "0000042";
    QTest::newRow("longer kept whole") << QJSValue(12345678) << 7 << QJSValue() << "12345678";
    QTest::newRow("pad text added whole") << QJSValue(5) << 3 << QJSValue("ab") << "abab5";
    QTest::newRow("empty pad means zero") << QJSValue(7) << 2 << QJSValue("") << "07";
    QTest::newRow("exact length") << QJSValue(99) << 2 << QJSValue() << "99";
    QTest::newRow("zero length") << QJSValue(3) << 0 << QJSValue() << "3";
}

void TestShellLogic::padNumber()
{
    QFETCH(QJSValue, number);
    QFETCH(int, length);
    QFETCH(QJSValue, pad);
    QFETCH(QString, expected);
    QCOMPARE(m_script.call("padNumber", {number, length, pad}).toString(), expected);
}

void TestShellLogic::appIsCurrentAndUpdates()
{
    QCOMPARE(m_script.call("appIsCurrent", {"3", "3"}).toBool(), true);
    QCOMPARE(m_script.call("appIsCurrent", {"3-dev", "3-dev"}).toBool(), false);
    QCOMPARE(m_script.call("appIsCurrent", {"3", "3.1"}).toBool(), false);

    QCOMPARE(m_script.call("updateAnnounced", {"3", "3.1"}).toBool(), true);
    QCOMPARE(m_script.call("updateAnnounced", {"3", "3"}).toBool(), false);
    QCOMPARE(m_script.call("updateAnnounced", {"3-dev", "3"}).toBool(), true);
    // An empty or missing answer announces nothing, development build or not.
    QCOMPARE(m_script.call("updateAnnounced", {"3", ""}).toBool(), false);
    QCOMPARE(m_script.call("updateAnnounced", {"3-dev", "  "}).toBool(), false);
    QCOMPARE(m_script.call("updateAnnounced", {"3-dev", QJSValue()}).toBool(), false);
}

void TestShellLogic::calibrationText_data()
{
    QTest::addColumn<QJSValue>("answer");
    QTest::addColumn<QString>("expected");
    // Now is 2027-05-31 12:00 local time (the tests run in Europe/Berlin).
    QTest::newRow("future date") << QJSValue("2028-02-10") << "Feb 2028";
    QTest::newRow("future date-time") << QJSValue("2027-06-01T08:00:00Z") << "Jun 2027";
    QTest::newRow("past") << QJSValue("2026-12-31") << "Expired";
    QTest::newRow("the expiry day itself") << QJSValue("2027-05-31") << "Expired";
    QTest::newRow("the day after") << QJSValue("2027-06-01") << "Jun 2027";
    QTest::newRow("empty") << QJSValue("") << "Pending";
    QTest::newRow("blank") << QJSValue("   ") << "Pending";
    QTest::newRow("missing") << QJSValue() << "Pending";
    QTest::newRow("null") << QJSValue(QJSValue::NullValue) << "Pending";
    QTest::newRow("unparseable") << QJSValue("soon") << "Pending";
    QTest::newRow("impossible day") << QJSValue("2027-02-30") << "Pending";
}

void TestShellLogic::calibrationText()
{
    QFETCH(QJSValue, answer);
    QFETCH(QString, expected);
    const QJSValue now =
        m_script.engine().toScriptValue(QDateTime(QDate(2027, 5, 31), QTime(12, 0)));
    const QJSValue format = m_script.engine().evaluate(
        QStringLiteral("(function (d) { return Qt.formatDate(d, \"MMM yyyy\"); })"));
    QCOMPARE(m_script.call("calibrationText", {answer, now, format}).toString(), expected);
}

void TestShellLogic::dateOnlyIsThatDayInLocalTime()
{
    // Just after local midnight of the expiry day the date has passed; an hour
    // before it, not yet (read as UTC midnight it would be the other way).
    const QJSValue format =
        m_script.engine().evaluate(QStringLiteral("(function (d) { return \"valid\"; })"));
    const QJSValue before =
        m_script.engine().toScriptValue(QDateTime(QDate(2027, 5, 30), QTime(23, 30)));
    const QJSValue after =
        m_script.engine().toScriptValue(QDateTime(QDate(2027, 5, 31), QTime(0, 30)));
    QCOMPARE(m_script.call("calibrationText", {"2027-05-31", before, format}).toString(), "valid");
    QCOMPARE(m_script.call("calibrationText", {"2027-05-31", after, format}).toString(), "Expired");

    const QDateTime parsed =
        m_script.call("parseCalibrationDate", {"2027-05-31"}).toVariant().toDateTime();
    QCOMPARE(parsed.toLocalTime(), QDateTime(QDate(2027, 5, 31), QTime(0, 0)));
}

void TestShellLogic::progressPercent()
{
    QCOMPARE(m_script.call("progressPercent", {512, 1024}).toNumber(), 50.0);
    QCOMPARE(m_script.call("progressPercent", {0, 1024}).toNumber(), 0.0);
    QCOMPARE(m_script.call("progressPercent", {1024, 1024}).toNumber(), 100.0);
    QCOMPARE(m_script.call("progressPercent", {2048, 1024}).toNumber(), 100.0);
    // Unknown (-1) or zero totals give no percentage at all.
    QVERIFY(m_script.call("progressPercent", {512, 0}).isNull());
    QVERIFY(m_script.call("progressPercent", {512, -1}).isNull());
    QVERIFY(m_script.call("progressPercent", {0, 0}).isNull());
}

QTEST_MAIN(TestShellLogic)
#include "tst_shelllogic.moc"
