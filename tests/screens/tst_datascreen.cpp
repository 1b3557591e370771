// The data screen, driven in-process against the simulated instrument behind
// the stand-in hidapi: the session list, the field plot and its switches, the
// per-session copies and saves, the bulk exports and the device information.
#include "filedialogs.h"
#include "shell/startup.h"
#include "shelltest.h"
#include "standinhid.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlExpression>
#include <QQmlProperty>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>
#include <algorithm>
#include <atomic>
#include <memory>

using namespace ShellTest;

namespace {

const QString OccupationalHeading = QStringLiteral(
    "# Timestamp,Exposure [Occ %],EField [Occ %],HField [Occ %],Alarm State,6min Avg,30min Avg");

QJsonArray fieldRecords(int count)
{
    QJsonArray records;
    for (int i = 0; i < count; ++i)
        records.append(QJsonArray{i == 0 ? 0 : 5, 100 + i % 50, 90 + (i * 7) % 60});
    return records;
}

QJsonObject fieldSession(const QString &start, int readings)
{
    return QJsonObject{{"type", "field"}, {"start", start}, {"records", fieldRecords(readings)}};
}

QJsonObject audioSession(const QString &start, int samples)
{
    QJsonArray bytes;
    for (int i = 0; i < samples; ++i)
        bytes.append(100 + i % 50);
    return QJsonObject{{"type", "audio"}, {"start", start}, {"samples", bytes}};
}

// Oldest first; the live session is the newest field one.
QJsonObject scenario(const QJsonArray &sessions, bool live = true)
{
    QJsonObject object{{"identity", QJsonObject{{"barcode", 42}, {"databaseId", 7}}},
                       {"bootloaderVersion", QJsonArray{2, 1}},
                       {"firmwareVersion", QJsonArray{1, 4}},
                       {"extendedQuery", true},
                       {"batteryRaw", 1006},
                       {"memoryDisabled", false},
                       {"sessions", sessions}};
    if (live)
        object.insert("live", QJsonObject{{"appendEveryMs", 1000},
                                          {"records", QJsonArray{QJsonArray{1, 120, 80}}}});
    return object;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString localStamp(const QString &isoUtc)
{
    QDateTime time = QDateTime::fromString(isoUtc, Qt::ISODate);
    time.setTimeSpec(Qt::UTC);
    return time.toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

// The page on top of a stack each time it changes.
class TopPageLog : public QObject
{
    Q_OBJECT

public:
    explicit TopPageLog(QObject *stack) : m_stack(stack)
    {
        connect(stack, SIGNAL(currentItemChanged()), this, SLOT(record()));
    }
    QStringList pages;

private slots:
    void record() { pages.append(topPageName(m_stack)); }

private:
    QObject *m_stack;
};

} // namespace

#define START(...)                                                                                 \
    do {                                                                                           \
        const QString failure = start(__VA_ARGS__);                                                \
        if (failure.startsWith(QLatin1String("skip: ")))                                           \
            QSKIP(qPrintable(failure.mid(6)));                                                     \
        QVERIFY2(failure.isEmpty(), qPrintable(failure));                                          \
    } while (false)

class TestDataScreen : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void sessionListAndDeviceInformation();
    void statusQuery_data();
    void statusQuery();
    void olderFieldSessionDrawsAndSwitches();
    void sessionWithoutPointsShowsNoData_data();
    void sessionWithoutPointsShowsNoData();
    void liveSessionGrowsWithoutDuplicates();
    void clickDuringHeaderWalk_data();
    void clickDuringHeaderWalk();
    void copiesReachTheClipboard_data();
    void copiesReachTheClipboard();
    void savesWriteTheChosenFiles();
    void imageSaveTakesTheFilterExtension();
    void bulkExportsWriteIntoThePickedFolder();
    void bulkExportWithoutSessionsOfThatKind();
    void bulkExportIntoUnwritableFolder();
    void bulkExportEnd_data();
    void bulkExportEnd();
    void unplugDuringBulkExport();
    void rebootReturnsToNotConnected();

private:
    // "" when the data screen is up; "skip: ..." when the program lacks a
    // part that it needs; otherwise the failure.
    QString start(const QJsonObject &instrument);
    static QJsonObject slowWalk();
    QQuickItem *shownRow(int index);
    QQuickItem *listView() const;
    QQuickItem *item(const QString &name) const;
    QObject *object(const QString &name) const;
    QObject *viewStack() const;
    QString topPage() const;
    bool click(const QString &name);
    bool clickOn(QObject *target);
    bool clickRow(int index);
    QVariantList vertices() const;
    QObject *graph() const;
    static QStringList shownText(QQuickItem *root);
    bool shellHas(const QString &id) const;
    QStringList plotted(const char *list) const;
    QString drawnMismatch(const QString &start, int appended = 0) const;
    void accept(const QString &dialogName, const QUrl &value);
    QString bannerText() const;

    std::unique_ptr<QTemporaryDir> m_programData;
    std::unique_ptr<QTemporaryDir> m_files;
    std::unique_ptr<Startup> m_startup;
    QJsonArray m_sessions;
};

void TestDataScreen::initTestCase()
{
    QVERIFY2(qEnvironmentVariable("LD_LIBRARY_PATH").contains(QLatin1String("standin-hidapi")),
             "the stand-in hidapi must be on LD_LIBRARY_PATH");
}

void TestDataScreen::init()
{
    m_programData = std::make_unique<QTemporaryDir>();
    m_files = std::make_unique<QTemporaryDir>();
    QVERIFY(m_programData->isValid() && m_files->isValid());
    qputenv("ProgramData", m_programData->path().toLocal8Bit());
    QVERIFY(writeConfig(m_programData->path(),
                        R"({"firstTimeRun": false, "optInForAutoCalCheck": false})"));
    QGuiApplication::clipboard()->clear();
}

void TestDataScreen::cleanup()
{
    m_startup.reset();
    StandInHid::instance().setFrameMs(0);
    StandInHid::instance().simulator().setReplyFilter(nullptr);
    StandInHid::instance().simulator().replug();
    m_files.reset();
    m_programData.reset();
}

QString TestDataScreen::start(const QJsonObject &instrument)
{
    m_sessions = instrument.value("sessions").toArray();
    const QString path = m_programData->filePath(QStringLiteral("scenario.json"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(instrument).toJson()) < 0)
        return QStringLiteral("cannot write the scenario");
    file.close();
    QString error;
    if (!StandInHid::instance().loadScenario(path, &error))
        return QStringLiteral("scenario: ") + error;
    StandInHid::instance().instrument().setLiveClockRunning(false);
    m_startup = std::make_unique<Startup>();
    if (m_startup->start() || !m_startup->mainWindow())
        return QStringLiteral("the program did not start");
    if (!QTest::qWaitForWindowExposed(m_startup->mainWindow()))
        return QStringLiteral("the main window is not shown");

    if (!m_startup->mainWindow()->findChild<QObject *>(QStringLiteral("device")))
        return QStringLiteral("skip: the main window has no instrument yet");
    QQmlComponent page(m_startup->engine(), QUrl(QStringLiteral("qrc:/content/Data.qml")));
    if (page.isError())
        return QStringLiteral("skip: ") + page.errorString();

    if (!QTest::qWaitFor([this] { return item(QStringLiteral("dataPage")) != nullptr; }, 15000))
        return QStringLiteral("no data screen; top page: ") + topPage();
    return QString();
}

QQuickItem *TestDataScreen::item(const QString &name) const
{
    auto *window = qobject_cast<QQuickWindow *>(m_startup ? m_startup->mainWindow() : nullptr);
    return window ? qobject_cast<QQuickItem *>(findByName(window->contentItem(), name)) : nullptr;
}

QObject *TestDataScreen::object(const QString &name) const
{
    return m_startup ? findByName(m_startup->mainWindow(), name) : nullptr;
}

QObject *TestDataScreen::viewStack() const
{
    return object(QStringLiteral("viewStack"));
}

QString TestDataScreen::topPage() const
{
    return topPageName(viewStack());
}

// A press and release on the item's centre, scrolling the panel first when
// the item lies outside its view. Disabled items take no click.
bool TestDataScreen::click(const QString &name)
{
    // Pages slide in: a click during the transition lands elsewhere.
    QObject *stack = viewStack();
    if (!stack || !QTest::qWaitFor([stack] { return !stack->property("busy").toBool(); }, 5000))
        return false;
    return clickOn(item(name));
}

bool TestDataScreen::clickOn(QObject *object)
{
    auto *target = qobject_cast<QQuickItem *>(object);
    if (!target || !target->isVisible())
        return false;
    if (auto *flickable = item(QStringLiteral("panelFlickable"))) {
        if (flickable->isAncestorOf(target)) {
            const QPointF inView =
                target->mapToItem(flickable, QPointF(target->width() / 2, target->height() / 2));
            if (inView.y() < 0 || inView.y() > flickable->height()) {
                const qreal y = flickable->property("contentY").toReal();
                flickable->setProperty("contentY", y + inView.y() - flickable->height() / 2);
            }
        }
    }
    const QPointF centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
    QTest::mouseMove(target->window(), centre.toPoint());
    QTest::mouseClick(target->window(), Qt::LeftButton, {}, centre.toPoint(), 20);
    return true;
}

bool TestDataScreen::clickRow(int index)
{
    const QString name = QStringLiteral("sessionRow%1").arg(index);
    return QTest::qWaitFor([&] { return item(name) != nullptr; }, 10000) && click(name);
}

// 40 sessions whose headers come slowly: the walk outlasts the page's arrival.
QJsonObject TestDataScreen::slowWalk()
{
    const QDateTime first =
        QDateTime::fromString(QStringLiteral("2026-03-01T10:00:00Z"), Qt::ISODate);
    QJsonArray sessions;
    for (int i = 0; i < 40; ++i)
        sessions.append(fieldSession(first.addSecs(900 * i).toString(Qt::ISODate), 3));
    QJsonObject instrument = scenario(sessions);
    instrument.insert(QStringLiteral("frameMs"), 20);
    return instrument;
}

// The row now shown at index once the rows follow the walk (not only its end)
// and the page has slid in; rows of lists taken before may still await
// deletion under the same name.
QQuickItem *TestDataScreen::shownRow(int index)
{
    if (!QTest::qWaitFor([this] { return item(QStringLiteral("sessionRow3")) != nullptr; }, 15000))
        return nullptr;
    QObject *device = object(QStringLiteral("device"));
    QObject *stack = viewStack();
    if (device->property("hasAllHeaders").toBool() ||
        !QTest::qWaitFor([stack] { return !stack->property("busy").toBool(); }, 5000))
        return nullptr;
    QQuickItem *row = nullptr;
    if (QQuickItem *view = listView())
        QMetaObject::invokeMethod(view, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, row),
                                  Q_ARG(int, index));
    return row;
}

QQuickItem *TestDataScreen::listView() const
{
    QObject *list = object(QStringLiteral("sessionList"));
    for (QQuickItem *child : list ? list->findChildren<QQuickItem *>() : QList<QQuickItem *>()) {
        if (child->inherits("QQuickListView"))
            return child;
    }
    return nullptr;
}

QVariantList TestDataScreen::vertices() const
{
    QObject *field = object(QStringLiteral("dataField"));
    QObject *series = field ? field->property("exposureLineSeries").value<QObject *>() : nullptr;
    return series ? series->property("vertices").toList() : QVariantList();
}

// The texts of the visible Text items below root, in tree order.
QStringList TestDataScreen::shownText(QQuickItem *root)
{
    QStringList texts;
    if (!root || !root->isVisible())
        return texts;
    if (QByteArray(root->metaObject()->className()).startsWith("QQuickText"))
        texts << root->property("text").toString();
    const QList<QQuickItem *> children = root->childItems();
    for (QQuickItem *child : children)
        texts << shownText(child);
    return texts;
}

// Whether a name resolves where the pages look it up: the main window's ids sit
// in its own document, which the root context of main.qml does not see.
bool TestDataScreen::shellHas(const QString &id) const
{
    QObject *const stack = viewStack();
    if (!stack)
        return false;
    QQmlExpression probe(qmlContext(stack), stack,
                         QStringLiteral("typeof ") + id + QStringLiteral(" !== \"undefined\""));
    return probe.evaluate().toBool() && !probe.hasError();
}

QObject *TestDataScreen::graph() const
{
    QObject *field = object(QStringLiteral("dataField"));
    return field ? field->property("graph").value<QObject *>() : nullptr;
}

// Names of the plot's "traces" or "annotations", in order.
QStringList TestDataScreen::plotted(const char *list) const
{
    QStringList names;
    QObject *plot = graph();
    if (!plot)
        return names;
    const QVariantList entries = plot->property(list).toList();
    for (const QVariant &entry : entries)
        names << entry.toMap().value(QStringLiteral("name")).toString();
    return names;
}

// What the page holds for every trace against the series it is drawn from,
// point for point, and against the times of the session's readings (from
// `start` 5 s apart as fieldRecords lays them, then `appended` live ones 1 s
// apart): the texts of the wall-clock times and the values in per cent. ""
// when all match.
QString TestDataScreen::drawnMismatch(const QString &start, int appended) const
{
    QObject *field = object(QStringLiteral("dataField"));
    const QVariantList drawn =
        pageValue(findByName(graph(), QStringLiteral("webView")),
                  QStringLiteral("document.getElementById('chart').data.map(t => [t.name,"
                                 " Array.from(t.x), Array.from(t.y)])"))
            .toList();
    const QStringList names = plotted("traces");
    if (drawn.size() != names.size())
        return QStringLiteral("%1 traces drawn of %2").arg(drawn.size()).arg(names.size());
    const qint64 offset = qint64(QDateTime::currentDateTime().offsetFromUtc()) * 1000;
    const qint64 t0 = QDateTime::fromString(start, Qt::ISODate).toMSecsSinceEpoch();
    const int recorded = 1 + int(vertices().size()) / 2 - appended;
    const QStringList aliases{"exposureLineSeries", "eFieldLineSeries", "hFieldLineSeries",
                              "sixMinAverageLineSeries", "thirtyMinAverageLineSeries"};
    const QStringList traceNames{"Combined Exposure", "E-Field", "H-Field", "6 Min Average",
                                 "30 Min Average"};
    for (const QVariant &trace : drawn) {
        const QVariantList t = trace.toList();
        const QString name = t.at(0).toString();
        const QVariantList xs = t.at(1).toList();
        const QVariantList ys = t.at(2).toList();
        QObject *series =
            field->property(qPrintable(aliases.value(traceNames.indexOf(name)))).value<QObject *>();
        const QVariantList points = series ? series->property("vertices").toList() : QVariantList();
        if (points.size() != xs.size() || points.size() != ys.size())
            return QStringLiteral("%1: %2 points drawn of %3")
                .arg(name)
                .arg(xs.size())
                .arg(points.size());
        for (int k = 0; k < points.size(); ++k) {
            const QVariantMap point = points.at(k).toMap();
            const int reading = k / 2 + 1;
            const qint64 x =
                t0 + 5000 * qMin(reading, recorded - 1) + 1000 * qMax(0, reading - recorded + 1);
            const QString text = QDateTime::fromMSecsSinceEpoch(x + offset, Qt::UTC)
                                     .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
            if (point.value("x").toLongLong() != x || xs.at(k).toString() != text ||
                qAbs(ys.at(k).toDouble() - point.value("y").toDouble() * 100) > 1e-9)
                return QStringLiteral("%1 point %2: drawn %3 %4, series %5 %6, reading %7")
                    .arg(name)
                    .arg(k)
                    .arg(xs.at(k).toString(), ys.at(k).toString(), point.value("x").toString(),
                         point.value("y").toString(), text);
        }
    }
    return QString();
}

// The choice handed to the page's dialog as the dialog hands it over; the
// journeys drive the dialog itself.
void TestDataScreen::accept(const QString &dialogName, const QUrl &value)
{
    QObject *dialog = object(dialogName);
    QVERIFY(dialog);
    QVERIFY(QMetaObject::invokeMethod(dialog, "close"));
    QVERIFY(QMetaObject::invokeMethod(dialog, "take", Q_ARG(QVariant, value)));
}

QString TestDataScreen::bannerText() const
{
    QObject *banner = object(QStringLiteral("notification"));
    return banner ? banner->property("text").toString() : QString();
}

void TestDataScreen::sessionListAndDeviceInformation()
{
    QJsonArray sessions{fieldSession("2026-03-01T10:00:00Z", 3),
                        audioSession("2026-03-01T11:00:00Z", 200),
                        fieldSession("2026-03-02T09:30:00Z", 4)};
    START(scenario(sessions));

    // Newest first; the first row reads "Current" whatever its time.
    QTRY_VERIFY_WITH_TIMEOUT(item(QStringLiteral("sessionRow2")) != nullptr, 10000);
    QCOMPARE(
        QQmlProperty::read(item(QStringLiteral("sessionRow0")), "text").toString(),
        QDateTime::fromString("2026-03-02T09:30:00Z", Qt::ISODate).toLocalTime().toString("HH:mm"));
    QVERIFY(shownText(item(QStringLiteral("sessionRow0"))).contains(QStringLiteral("Current")));
    const QStringList rowTwo = shownText(item(QStringLiteral("sessionRow2")));
    QVERIFY(!rowTwo.contains(QStringLiteral("Current")));
    QVERIFY(rowTwo.contains(QDateTime::fromString("2026-03-01T10:00:00Z", Qt::ISODate)
                                .toLocalTime()
                                .toString("HH:mm")));
    // One heading per date, newest first.
    const QStringList listTexts = shownText(item(QStringLiteral("sessionList")));
    QCOMPARE(listTexts.count(QStringLiteral("02-03-2026")), 1);
    QCOMPARE(listTexts.count(QStringLiteral("01-03-2026")), 1);
    QVERIFY(item(QStringLiteral("sessionRow0"))->y() < item(QStringLiteral("sessionRow1"))->y());
    QObject *list = object(QStringLiteral("sessionList"));
    QVERIFY(list);
    QCOMPARE(list->property("index").toInt(), -1);
    QVERIFY(item(QStringLiteral("dataNothing"))->isVisible());

    // Battery 1006 counts: 1006 * 3.3 / 1023 * 1.22 = 3.959 V.
    QTRY_COMPARE(item(QStringLiteral("batteryText"))->property("text").toString(),
                 QStringLiteral("3.96 V"));
    QTRY_COMPARE(item(QStringLiteral("memoryText"))->property("text").toString(),
                 QStringLiteral("Enabled"));
    QCOMPARE(item(QStringLiteral("barcodeText"))->property("text").toString(),
             QStringLiteral("0000042"));
    QCOMPARE(item(QStringLiteral("firmwareText"))->property("text").toString(),
             QStringLiteral("v1.4.0"));
    QCOMPARE(item(QStringLiteral("bootloaderText"))->property("text").toString(),
             QStringLiteral("v2.1.0"));
    QCOMPARE(item(QStringLiteral("calDateText"))->property("text").toString(),
             QStringLiteral("Disabled"));
    QVERIFY(item(QStringLiteral("bulkCsvButton"))->property("enabled").toBool());
    QVERIFY(item(QStringLiteral("clearMemoryButton"))->property("enabled").toBool());
    QVERIFY(!item(QStringLiteral("graphControls"))->isVisible());

    // Clear Memory asks on a page of its own; going back keeps the choice.
    // The synthetic click on this last row of the panel does not arrive
    // offscreen; the button's own signal stands in for it.
    QVERIFY(item(QStringLiteral("clearMemoryButton"))->property("enabled").toBool());
    QVERIFY(QMetaObject::invokeMethod(item(QStringLiteral("clearMemoryButton")), "clicked"));
    QTRY_COMPARE(topPage(), QStringLiteral("ClearDevice"));
    QQmlExpression back(qmlContext(viewStack()), viewStack(), QStringLiteral("pop()"));
    back.evaluate();
    QTRY_COMPARE(topPage(), QStringLiteral("Data"));
    QVERIFY(item(QStringLiteral("dataNothing"))->isVisible());

    // An audio session: the switches show but stay off, WAV export is offered.
    QVERIFY(clickRow(1));
    QTRY_VERIFY(item(QStringLiteral("dataAudio"))->isVisible());
    QVERIFY(item(QStringLiteral("graphControls"))->isVisible());
    QVERIFY(!item(QStringLiteral("combinedSwitch"))->property("enabled").toBool());
    QVERIFY(item(QStringLiteral("exportWavButton"))->property("enabled").toBool());
    QVERIFY(!item(QStringLiteral("copyCsvButton"))->property("enabled").toBool());

    // Loading shows the spinner block; once loaded, play is offered only
    // where there is a sound output.
    QObject *audio =
        object(QStringLiteral("presenter"))->property("audioDataEntry").value<QObject *>();
    QVERIFY(audio);
    QTRY_VERIFY_WITH_TIMEOUT(audio->property("loaded").toBool(), 10000);
    QTRY_VERIFY(!item(QStringLiteral("audioLoadingBlock"))->isVisible());
    QObject *player = m_startup->mainWindow()->findChild<QObject *>(QStringLiteral("player"));
    if (player) {
        const bool output = player->property("isAvailable").toBool();
        QCOMPARE(item(QStringLiteral("audioPlayBlock"))->isVisible(), output);
        QVERIFY(!item(QStringLiteral("audioStopBlock"))->isVisible());
    }
}

void TestDataScreen::statusQuery_data()
{
    QTest::addColumn<int>("lost");
    QTest::newRow("answered") << 0;
    QTest::newRow("first reply lost") << 1;
}

// One status query per connection when it is answered; a lost reply is asked
// for again instead of leaving the panel without values.
void TestDataScreen::statusQuery()
{
    QFETCH(int, lost);
    // The panel lays itself out in one pass.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("Binding loop detected")));
    InstrumentSimulator &simulator = StandInHid::instance().simulator();
    const auto withheld = std::make_shared<std::atomic<int>>(0);
    simulator.setReplyFilter([withheld, lost](const InstrumentSimulator::Report &request,
                                              InstrumentSimulator::Reply &reply, int &) {
        if (request[1] == 10 && request[2] == 3 && withheld->load() < lost) {
            ++*withheld;
            reply.reset();
        }
    });
    simulator.clearRequests();
    START(scenario({fieldSession("2026-03-02T10:00:00Z", 3)}));

    QTRY_COMPARE_WITH_TIMEOUT(item(QStringLiteral("memoryText"))->property("text").toString(),
                              QStringLiteral("Enabled"), 15000);
    QCOMPARE(item(QStringLiteral("batteryText"))->property("text").toString(),
             QStringLiteral("3.96 V"));
    for (const char *name :
         {"bulkCsvButton", "bulkTsvButton", "bulkAudioButton", "clearMemoryButton"})
        QVERIFY2(item(QLatin1String(name))->property("enabled").toBool(), name);
    QTest::qWait(2500); // longer than the pause before asking again
    const std::vector<InstrumentSimulator::Report> requests = simulator.requests();
    const auto statusQueries = std::count_if(requests.begin(), requests.end(),
                                             [](const auto &r) { return r[1] == 10 && r[2] == 3; });
    QCOMPARE(int(statusQueries), 1 + lost);
}

void TestDataScreen::olderFieldSessionDrawsAndSwitches()
{
    const int readings = 6;
    START(scenario({fieldSession("2026-03-01T10:00:00Z", readings),
                    fieldSession("2026-03-01T12:00:00Z", readings),
                    fieldSession("2026-03-02T10:00:00Z", 3)}));
    QVERIFY(clickRow(1));
    QTRY_VERIFY(item(QStringLiteral("dataField"))->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(vertices().size(), 2 * (readings - 1), 10000);
    QTRY_VERIFY(item(QStringLiteral("copyCsvButton"))->property("enabled").toBool());
    for (const char *name :
         {"copyTsvButton", "copyImgButton", "saveCsvButton", "saveTsvButton", "saveImgButton"})
        QVERIFY2(item(QLatin1String(name))->property("enabled").toBool(), name);
    // A page opened over the screen and closed again leaves the session
    // usable. Clear Memory takes no synthetic click offscreen (see above).
    QTRY_VERIFY(item(QStringLiteral("clearMemoryButton"))->property("enabled").toBool());
    for (const char *close : {"backButton", "cancelButton"}) {
        if (QByteArray(close) == "backButton")
            QVERIFY(click(QStringLiteral("appVersionMouseArea")));
        else
            QVERIFY(
                QMetaObject::invokeMethod(item(QStringLiteral("clearMemoryButton")), "clicked"));
        QTRY_VERIFY(topPage() != QStringLiteral("Data"));
        QVERIFY2(click(QLatin1String(close)), close);
        QTRY_COMPARE(topPage(), QStringLiteral("Data"));
        QTRY_VERIFY2(item(QStringLiteral("saveImgButton"))->property("enabled").toBool(), close);
    }

    QTRY_COMPARE_WITH_TIMEOUT(plotted("traces"), QStringList{"Combined Exposure"}, 20000);
    QCOMPARE(plotted("annotations"), QStringList());

    // Switches add and remove their curve and note, and keep their state
    // across sessions.
    QObject *eField = item(QStringLiteral("eFieldSwitch"));
    QObject *sixMin = item(QStringLiteral("sixMinSwitch"));
    QVERIFY(item(QStringLiteral("combinedSwitch"))->property("checked").toBool());
    QVERIFY(!eField->property("checked").toBool());
    QVERIFY(click(QStringLiteral("eFieldSwitch")));
    QTRY_VERIFY(eField->property("checked").toBool());
    QCOMPARE(plotted("traces"), (QStringList{"Combined Exposure", "E-Field"}));
    QTRY_COMPARE_WITH_TIMEOUT(drawnMismatch("2026-03-01T12:00:00Z"), QString(), 20000);
    // A session of the same length after it is drawn with its own times.
    QVERIFY(clickRow(2));
    QTRY_COMPARE_WITH_TIMEOUT(drawnMismatch("2026-03-01T10:00:00Z"), QString(), 20000);
    QVERIFY(click(QStringLiteral("sixMinSwitch")));
    QTRY_VERIFY(sixMin->property("checked").toBool());
    QCOMPARE(plotted("traces"), (QStringList{"Combined Exposure", "E-Field", "6 Min Average"}));
    QCOMPARE(plotted("annotations"), QStringList{"6min"});
    QVERIFY(click(QStringLiteral("sixMinSwitch")));
    QTRY_VERIFY(!sixMin->property("checked").toBool());
    QCOMPARE(plotted("traces"), (QStringList{"Combined Exposure", "E-Field"}));
    QCOMPARE(plotted("annotations"), QStringList());
    QVERIFY(click(QStringLiteral("combinedSwitch")));
    QTRY_COMPARE(plotted("traces"), QStringList{"E-Field"});

    // Another session is drawn anew with exactly the curves that are on.
    QVERIFY(clickRow(0));
    QTRY_COMPARE_WITH_TIMEOUT(vertices().size(), 4, 10000);
    QVERIFY(eField->property("checked").toBool());
    QTRY_COMPARE(plotted("traces"), QStringList{"E-Field"});
}

void TestDataScreen::sessionWithoutPointsShowsNoData_data()
{
    QTest::addColumn<int>("readings");
    QTest::addColumn<bool>("repliesLost");
    QTest::newRow("one reading") << 1 << false;
    QTest::newRow("every reply lost") << 4 << true;
}

void TestDataScreen::sessionWithoutPointsShowsNoData()
{
    QFETCH(int, readings);
    QFETCH(bool, repliesLost);
    START(scenario(
        {fieldSession("2026-03-01T10:00:00Z", readings), fieldSession("2026-03-02T10:00:00Z", 5)}));
    QVERIFY(clickRow(0));
    QTRY_VERIFY_WITH_TIMEOUT(item(QStringLiteral("copyCsvButton"))->property("enabled").toBool(),
                             10000);
    QTRY_COMPARE(plotted("traces"), QStringList{"Combined Exposure"});
    if (repliesLost)
        StandInHid::instance().simulator().setReplyFilter(
            [](const auto &request, auto &reply, int &) {
                if (request[1] == 7)
                    reply.reset();
            });
    // Another session must not inherit the buttons, nor the curve, of the one before.
    QVERIFY(clickRow(1));
    QVERIFY(!item(QStringLiteral("copyCsvButton"))->property("enabled").toBool());
    QObject *list = object(QStringLiteral("sessionList"));
    QObject *entry =
        object(QStringLiteral("presenter"))->property("fieldDataEntry").value<QObject *>();
    QTRY_VERIFY_WITH_TIMEOUT(!entry->property("loading").toBool(), 30000);
    QCOMPARE(entry->property("loaded").toBool(), !repliesLost);
    QCOMPARE(list->property("index").toInt(), 1);
    QTest::qWait(300);
    QVERIFY(vertices().isEmpty());
    QCOMPARE(plotted("traces"), QStringList());
    for (const char *name : {"copyCsvButton", "copyTsvButton", "copyImgButton", "saveCsvButton",
                             "saveTsvButton", "saveImgButton"})
        QVERIFY2(!item(QLatin1String(name))->property("enabled").toBool(), name);
}

void TestDataScreen::liveSessionGrowsWithoutDuplicates()
{
    START(scenario({fieldSession("2026-03-02T10:00:00Z", 3)}));
    QVERIFY(clickRow(0));
    QTRY_COMPARE_WITH_TIMEOUT(vertices().size(), 4, 10000);
    StandInHid::instance().instrument().appendLiveRecords(1);
    QTRY_COMPARE_WITH_TIMEOUT(vertices().size(), 6, 5000);
    StandInHid::instance().instrument().appendLiveRecords(2);
    QTRY_COMPARE_WITH_TIMEOUT(vertices().size(), 10, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(drawnMismatch("2026-03-02T10:00:00Z", 3), QString(), 20000);

    // A step line: pairs at one time, times never going back, no pair twice.
    const QVariantList points = vertices();
    QSet<qint64> times;
    for (int i = 0; i < points.size(); i += 2) {
        const qint64 x = points.at(i).toMap().value("x").toLongLong();
        QCOMPARE(points.at(i + 1).toMap().value("x").toLongLong(), x);
        QVERIFY2(!times.contains(x), "a reading plotted twice");
        times.insert(x);
        if (i > 0)
            QVERIFY(x > points.at(i - 1).toMap().value("x").toLongLong());
    }
    QVERIFY(object(QStringLiteral("liveReloadTimer"))->property("running").toBool());
}

void TestDataScreen::clickDuringHeaderWalk_data()
{
    QTest::addColumn<int>("held");       // ms between press and release
    QTest::addColumn<QString>("during"); // what happens while the row is held
    QTest::newRow("quick click") << 0 << "";
    QTest::newRow("held 60 ms") << 60 << "";
    QTest::newRow("held 250 ms") << 250 << "";
    QTest::newRow("walk ends while held") << 0 << "walk ends";
    QTest::newRow("unplugged while held") << 200 << "unplug";
}

// A row clicked while a slow header walk grows the list shows its session,
// whatever the rows take from the walk meanwhile; a walk ended while held is
// taken at the release. Unplugged with the row held, the rows take the
// device's last list in the next turn, not at a throttle or the release.
void TestDataScreen::clickDuringHeaderWalk()
{
    QFETCH(int, held);
    QFETCH(QString, during);
    START(slowWalk());
    QObject *device = object(QStringLiteral("device"));
    QObject *list = object(QStringLiteral("sessionList"));
    QQuickItem *row = shownRow(2);
    QVERIFY(row);
    auto *entry = QQmlProperty::read(row, "context").value<QObject *>();
    QVERIFY(entry);
    QQuickWindow *window = row->window(); // the row may go with the list it shows
    const QPoint centre = row->mapToScene(QPointF(row->width() / 2, row->height() / 2)).toPoint();
    QTest::mouseMove(window, centre);
    QTest::mousePress(window, Qt::LeftButton, {}, centre);
    if (during == QLatin1String("unplug")) {
        // Headers stop coming for a while, so that no throttle runs when the
        // instrument goes.
        StandInHid::instance().setFrameMs(150);
        QTest::qWait(held);
        QSignalSpy gone(device, SIGNAL(disconnected()));
        // The list's own alias signal is only wired once QML listens to it.
        QSignalSpy taken(listView(), SIGNAL(modelChanged()));
        StandInHid::instance().simulator().unplug();
        QVERIFY(gone.wait(5000));
        // The next turn, well before any throttle could run.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(taken.count(), 1);
        QCOMPARE(QQmlProperty::read(list, "model").toList().size(),
                 device->property("dataEntries").toList().size());
        QTest::mouseRelease(window, Qt::LeftButton, {}, centre);
        return;
    }
    if (during == QLatin1String("walk ends")) {
        StandInHid::instance().setFrameMs(0);
        QTRY_VERIFY_WITH_TIMEOUT(device->property("hasAllHeaders").toBool(), 30000);
    } else {
        QTest::qWait(held);
    }
    QTest::mouseRelease(window, Qt::LeftButton, {}, centre);
    QVERIFY2(during == QLatin1String("walk ends") || !device->property("hasAllHeaders").toBool(),
             "the walk ended before the click");

    QObject *presenter = object(QStringLiteral("presenter"));
    QTRY_COMPARE_WITH_TIMEOUT(presenter->property("dataEntry").value<QObject *>(), entry, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(device->property("hasAllHeaders").toBool(), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(vertices().size(), 2 * (3 - 1), 20000);
    QVERIFY(item(QStringLiteral("dataField"))->isVisible());
    // The walk grew the list above the row: the highlight moved with it.
    QTRY_VERIFY(list->property("index").toInt() > 2);
    auto *current = list->property("currentItem").value<QQuickItem *>();
    QVERIFY(current);
    QCOMPARE(QQmlProperty::read(current, "context").value<QObject *>(), entry);
    QTRY_COMPARE(QQmlProperty::read(list, "model").toList().size(), 40);
}

void TestDataScreen::copiesReachTheClipboard_data()
{
    // How the live session's reload ends while copies wait for it.
    QTest::addColumn<bool>("replyDropped");
    QTest::addColumn<QStringList>("presses");
    const QStringList twice{"copyCsvButton", "copyCsvButton"};
    QTest::newRow("reload reads") << false << twice;
    QTest::newRow("reload fails") << true << twice;
    // The clipboard ends with the copy asked for last.
    QTest::newRow("TSV after CSV") << false << (twice + QStringList{"copyTsvButton"});
}

void TestDataScreen::copiesReachTheClipboard()
{
    QFETCH(bool, replyDropped);
    QFETCH(QStringList, presses);
    const int readings = 4;
    START(scenario(
        {fieldSession("2026-03-01T10:00:00Z", readings), fieldSession("2026-03-02T10:00:00Z", 3)}));
    if (!shellHas(QStringLiteral("clipboard")))
        QSKIP("the main window has no clipboard yet");
    QVERIFY(clickRow(1));
    QTRY_VERIFY_WITH_TIMEOUT(item(QStringLiteral("copyCsvButton"))->property("enabled").toBool(),
                             10000);
    QVERIFY(click(QStringLiteral("copyCsvButton")));
    QTRY_VERIFY_WITH_TIMEOUT(!QGuiApplication::clipboard()->text().isEmpty(), 5000);
    QStringList lines = QGuiApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.first().trimmed(), OccupationalHeading);
    // One row per reading and a back-filled row before each but the first.
    QCOMPARE(lines.size(), 1 + readings + (readings - 1));
    QTRY_COMPARE(bannerText(), QStringLiteral("Copied to clipboard"));

    QGuiApplication::clipboard()->clear();
    QVERIFY(click(QStringLiteral("copyTsvButton")));
    QTRY_VERIFY_WITH_TIMEOUT(!QGuiApplication::clipboard()->text().isEmpty(), 5000);
    lines = QGuiApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.first().trimmed(), QString(OccupationalHeading).replace(',', '\t'));

    // The live session reloads every second; a copy meanwhile must wait for
    // the reload instead of reading readings that are being replaced.
    QVERIFY(clickRow(0));
    QTRY_VERIFY_WITH_TIMEOUT(item(QStringLiteral("copyCsvButton"))->property("enabled").toBool(),
                             10000);
    for (int i = 0; i < 5; ++i) {
        QGuiApplication::clipboard()->clear();
        StandInHid::instance().instrument().appendLiveRecords(1);
        QVERIFY(click(QStringLiteral("copyCsvButton")));
        QTRY_VERIFY_WITH_TIMEOUT(!QGuiApplication::clipboard()->text().isEmpty(), 5000);
        QVERIFY(QGuiApplication::clipboard()->text().startsWith(OccupationalHeading));
    }

    // Presses while a slow reload runs: a copy each, in press order, once it has ended, from
    // what the session then holds, and the live plot goes on growing.
    QObject *live =
        object(QStringLiteral("presenter"))->property("fieldDataEntry").value<QObject *>();
    QVERIFY(live);
    const int held = 3 + 5; // the session's readings and those appended above
    QTRY_COMPARE_WITH_TIMEOUT(vertices().size(), 2 * (held - 1), 5000);
    QTRY_VERIFY(!live->property("loading").toBool());
    const int plottedBefore = vertices().size();
    QStringList copies;
    const QObject watch; // ends the watching with this scope
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, &watch,
            [&copies] { copies << QGuiApplication::clipboard()->text(); });
    StandInHid::instance().setFrameMs(150);
    if (replyDropped)
        StandInHid::instance().simulator().dropReplies(1);
    StandInHid::instance().instrument().appendLiveRecords(1);
    QTRY_VERIFY_WITH_TIMEOUT(live->property("loading").toBool(), 3000);
    for (const QString &press : std::as_const(presses))
        QVERIFY(click(press));
    QTRY_COMPARE_WITH_TIMEOUT(copies.size(), presses.size(), 5000);
    StandInHid::instance().setFrameMs(0);
    const int copied = replyDropped ? held : held + 1;
    for (int i = 0; i < copies.size(); ++i) {
        QCOMPARE(copies[i].count('\n'), 1 + copied + (copied - 1));
        QCOMPARE(copies[i].startsWith(OccupationalHeading), presses[i] == "copyCsvButton");
    }
    QTRY_VERIFY_WITH_TIMEOUT(vertices().size() > plottedBefore, 5000);
    QVERIFY(object(QStringLiteral("liveReloadTimer"))->property("running").toBool());
}

void TestDataScreen::savesWriteTheChosenFiles()
{
    START(scenario({fieldSession("2026-03-01T10:00:00Z", 4),
                    audioSession("2026-03-01T11:00:00Z", 300),
                    fieldSession("2026-03-02T10:00:00Z", 3)}));
    QVERIFY(clickRow(2));
    QTRY_VERIFY_WITH_TIMEOUT(item(QStringLiteral("saveCsvButton"))->property("enabled").toBool(),
                             10000);

    // Names with spaces and '#' go through the URL unharmed.
    const QString csv = m_files->filePath(QStringLiteral("run #1 of 2.csv"));
    QVERIFY(click(QStringLiteral("saveCsvButton")));
    QCOMPARE(object(QStringLiteral("dataDownloadFileDialog"))->property("title").toString(),
             QStringLiteral("Save Log File"));
    accept(QStringLiteral("dataDownloadFileDialog"), QUrl::fromLocalFile(csv));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(csv), 10000);
    QFile csvFile(csv);
    QVERIFY(csvFile.open(QIODevice::ReadOnly));
    const QString written = QString::fromUtf8(csvFile.readAll());
    QCOMPARE(written.split('\n', Qt::SkipEmptyParts).first().trimmed(), OccupationalHeading);
    // Heading, four readings and a back-filled row before each but the first.
    QCOMPARE(written.split('\n', Qt::SkipEmptyParts).size(), 1 + 4 + 3);
    QTRY_COMPARE(bannerText(), QStringLiteral("File saved"));

    const QString tsv = m_files->filePath(QStringLiteral("run 1.tsv"));
    QVERIFY(click(QStringLiteral("saveTsvButton")));
    accept(QStringLiteral("dataDownloadFileDialog"), QUrl::fromLocalFile(tsv));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(tsv), 10000);
    QFile tsvFile(tsv);
    QVERIFY(tsvFile.open(QIODevice::ReadOnly));
    QVERIFY(
        tsvFile.readLine().startsWith(QString(OccupationalHeading).replace(',', '\t').toUtf8()));

    // A TSV save to the CSV's name while the CSV waits for its reload: it
    // waits in turn and asks before it replaces what the CSV wrote; No goes
    // back to its dialog with that name and writes nothing.
    for (const QString answer : {"noButton", "yesButton"}) {
        const QString twice = m_files->filePath(answer + ".csv");
        StandInHid::instance().setFrameMs(100);
        QVERIFY(click(QStringLiteral("saveCsvButton")));
        QTimer::singleShot(0, this, [&] {
            QVERIFY(click(QStringLiteral("saveTsvButton")));
            accept(QStringLiteral("dataDownloadFileDialog"), QUrl::fromLocalFile(twice));
        });
        accept(QStringLiteral("dataDownloadFileDialog"), QUrl::fromLocalFile(twice));
        StandInHid::instance().setFrameMs(0);
        QObject *question = object(QStringLiteral("replaceAgainQuestion"));
        QTRY_VERIFY_WITH_TIMEOUT(question && question->property("opened").toBool(), 10000);
        QVERIFY(question->property("message").toString().startsWith(answer + ".csv already"));
        const QByteArray csvText = readFile(twice);
        QVERIFY(csvText.startsWith(OccupationalHeading.toUtf8()));
        QVERIFY(clickOn(findByName(question, answer)));
        QTRY_VERIFY(!question->property("visible").toBool());
        if (answer == "yesButton") {
            QTRY_VERIFY_WITH_TIMEOUT(readFile(twice).contains('\t'), 10000);
            continue;
        }
        QObject *dialog = object(QStringLiteral("dataDownloadFileDialog"));
        QCOMPARE(dialog->property("proposedName").toString(), answer + ".csv");
        QVERIFY(QMetaObject::invokeMethod(dialog, "close"));
        QTest::qWait(300);
        QCOMPARE(readFile(twice), csvText);
    }

    // Another session is shown before the dialog's answer (by the row's own
    // handler: the open dialog keeps the pointer off the window); the one the
    // button was pressed for is saved.
    const QString pressedFor = m_files->filePath(QStringLiteral("pressed for.csv"));
    QVERIFY(click(QStringLiteral("saveCsvButton")));
    QVERIFY(FileDialogs::shown());
    evaluate(item(QStringLiteral("sessionRow1")), QStringLiteral("selected(1, context)"));
    QTRY_VERIFY(item(QStringLiteral("dataAudio"))->isVisible());
    QVERIFY(FileDialogs::type(pressedFor));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(pressedFor), 10000);
    QCOMPARE(readFile(pressedFor), readFile(csv));

    QVERIFY(clickRow(1));
    QTRY_VERIFY(item(QStringLiteral("exportWavButton"))->property("enabled").toBool());
    const QString wav = m_files->filePath(QStringLiteral("voice #1.wav"));
    QVERIFY(click(QStringLiteral("exportWavButton")));
    accept(QStringLiteral("audioDownloadFileDialog"), QUrl::fromLocalFile(wav));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(wav), 10000);
    QFile wavFile(wav);
    QVERIFY(wavFile.open(QIODevice::ReadOnly));
    const QByteArray wave = wavFile.readAll();
    QVERIFY(wave.startsWith("RIFF"));
    QCOMPARE(wave.mid(8, 4), QByteArray("WAVE"));
    QVERIFY(wave.size() > 44);
}

void TestDataScreen::imageSaveTakesTheFilterExtension()
{
    START(scenario(
        {fieldSession("2026-03-01T10:00:00Z", 5), fieldSession("2026-03-02T10:00:00Z", 3)}));
    QVERIFY(clickRow(1));
    QTRY_VERIFY_WITH_TIMEOUT(item(QStringLiteral("saveImgButton"))->property("enabled").toBool(),
                             10000);
    // Rendering needs the plot's page, which loads once.
    QObject *page = nullptr;
    for (QObject *child : graph()->findChildren<QObject *>()) {
        if (QByteArray(child->metaObject()->className()).contains("WebEngineView"))
            page = child;
    }
    QVERIFY(page);
    QTRY_VERIFY_WITH_TIMEOUT(!page->property("loading").toBool() &&
                                 page->property("loadProgress").toInt() == 100,
                             30000);
    const QString png = m_files->filePath(QStringLiteral("plot one.png"));
    QVERIFY(click(QStringLiteral("saveImgButton")));
    accept(QStringLiteral("imageDownloadFileDialog"), QUrl::fromLocalFile(png));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(png), 60000);
    QFile pngFile(png);
    QVERIFY(pngFile.open(QIODevice::ReadOnly));
    QVERIFY(pngFile.readAll().startsWith("\x89PNG"));
    QTRY_COMPARE(bannerText(), QStringLiteral("Image saved"));

    // "jpg" is JPEG.
    const QString jpg = m_files->filePath(QStringLiteral("plot.jpg"));
    QVERIFY(click(QStringLiteral("saveImgButton")));
    accept(QStringLiteral("imageDownloadFileDialog"), QUrl::fromLocalFile(jpg));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(jpg) || bannerText().startsWith("Error saving image"),
                             60000);
    QVERIFY2(QFile::exists(jpg), qPrintable(bannerText()));
    QFile jpgFile(jpg);
    QVERIFY(jpgFile.open(QIODevice::ReadOnly));
    QVERIFY(jpgFile.readAll().startsWith("\xFF\xD8"));

    // No extension: the first filter's, PNG.
    const QString bare = m_files->filePath(QStringLiteral("plot"));
    QVERIFY(click(QStringLiteral("saveImgButton")));
    accept(QStringLiteral("imageDownloadFileDialog"), QUrl::fromLocalFile(bare));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(bare + ".png"), 60000);

    // A bare name typed under the filter chosen in the dialog: that filter's.
    const QString chosen = m_files->filePath(QStringLiteral("plot two"));
    QVERIFY(click(QStringLiteral("saveImgButton")));
    QVERIFY(FileDialogs::chooseFilter(QStringLiteral("JPEG Image (*.jpeg)")));
    QVERIFY(FileDialogs::type(chosen));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(chosen + ".jpeg"), 60000);
}

void TestDataScreen::bulkExportsWriteIntoThePickedFolder()
{
    QJsonArray sessions{
        fieldSession("2026-03-01T10:00:00Z", 3), audioSession("2026-03-01T11:00:00Z", 100),
        fieldSession("2026-03-01T12:00:00Z", 4), fieldSession("2026-03-02T10:00:00Z", 2)};
    START(scenario(sessions));
    QTRY_VERIFY(item(QStringLiteral("bulkCsvButton"))->property("enabled").toBool());

    // The folder clicked in the dialog's list, not the one it shows.
    QDir files(m_files->path());
    QVERIFY(files.mkpath(QStringLiteral("other")));
    QVERIFY(files.mkpath(QStringLiteral("picked #1")));
    const QString picked = files.filePath(QStringLiteral("picked #1"));
    object(QStringLiteral("bulkDownloadFileDialog"))
        ->setProperty("folder", QUrl::fromLocalFile(files.path()));

    QVERIFY(click(QStringLiteral("bulkCsvButton")));
    QCOMPARE(FileDialogs::shown()->windowTitle(), QStringLiteral("Save Log Files"));
    // The list is refreshed while the dialog is open: the run keeps its sessions.
    QObject *device = object(QStringLiteral("device"));
    const QPointer<QObject> listed = device->property("dataEntries").value<QList<QObject *>>()[0];
    QVERIFY(QMetaObject::invokeMethod(device, "refreshDataEntries"));
    QTRY_VERIFY(device->property("dataEntries").value<QList<QObject *>>().size() == 4 &&
                device->property("dataEntries").value<QList<QObject *>>()[0] != listed);
    QTest::qWaitFor([&listed] { return listed.isNull(); }, 1000);
    QVERIFY(FileDialogs::click(QStringLiteral("picked #1")));
    QVERIFY(FileDialogs::press(QStringLiteral("Choose")));
    QTRY_COMPARE_WITH_TIMEOUT(topPage(), QStringLiteral("Data"), 30000);
    QTRY_COMPARE(bannerText(), QStringLiteral("Saved to folder"));
    QStringList expected;
    for (const auto &value : sessions) {
        const QJsonObject session = value.toObject();
        if (session.value("type") == "field")
            expected << localStamp(session.value("start").toString()) + "_data.csv";
    }
    expected.sort();
    QCOMPARE(QDir(picked).entryList(QDir::Files, QDir::Name), expected);
    QCOMPARE(files.entryList(QDir::Files), QStringList());

    // Opened in the folder chosen last.
    QVERIFY(click(QStringLiteral("bulkTsvButton")));
    QVERIFY(FileDialogs::press(QStringLiteral("Choose")));
    QTRY_COMPARE_WITH_TIMEOUT(QDir(picked).entryList({"*.tsv"}, QDir::Files).size(), 3, 30000);

    QVERIFY(click(QStringLiteral("bulkAudioButton")));
    QCOMPARE(FileDialogs::shown()->windowTitle(), QStringLiteral("Save Audio Files"));
    QVERIFY(FileDialogs::type(picked));
    QTRY_COMPARE_WITH_TIMEOUT(QDir(picked).entryList({"*_voice.wav"}, QDir::Files),
                              QStringList{localStamp("2026-03-01T11:00:00Z") + "_voice.wav"},
                              30000);
}

void TestDataScreen::bulkExportWithoutSessionsOfThatKind()
{
    START(scenario({fieldSession("2026-03-02T10:00:00Z", 3)}));
    QTRY_VERIFY(item(QStringLiteral("bulkAudioButton"))->property("enabled").toBool());
    QVERIFY(click(QStringLiteral("bulkAudioButton")));
    accept(QStringLiteral("bulkAudioDownloadDialog"), QUrl::fromLocalFile(m_files->path()));
    QTRY_COMPARE_WITH_TIMEOUT(topPage(), QStringLiteral("Data"), 10000);
    QTRY_COMPARE(bannerText(), QStringLiteral("No data found"));
    QVERIFY(QDir(m_files->path()).isEmpty());
}

void TestDataScreen::bulkExportIntoUnwritableFolder()
{
    START(scenario(
        {fieldSession("2026-03-01T10:00:00Z", 3), fieldSession("2026-03-02T10:00:00Z", 3)}));
    QTRY_VERIFY(item(QStringLiteral("bulkCsvButton"))->property("enabled").toBool());
    // A folder below a plain file can be neither made nor written, even by root.
    QFile blocker(m_files->filePath(QStringLiteral("blocker")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString missing = m_files->filePath(QStringLiteral("blocker/folder"));
    QVERIFY(click(QStringLiteral("bulkCsvButton")));
    accept(QStringLiteral("bulkDownloadFileDialog"), QUrl::fromLocalFile(missing));
    QTRY_COMPARE_WITH_TIMEOUT(topPage(), QStringLiteral("Data"), 30000);
    QTRY_COMPARE(bannerText(), QStringLiteral("Failed to save to folder"));
}

void TestDataScreen::bulkExportEnd_data()
{
    QTest::addColumn<QString>("opened");
    QTest::addColumn<QString>("top");
    QTest::addColumn<int>("depth");
    QTest::addColumn<bool>("liveShown");
    QTest::newRow("nothing over the saving page") << QString() << "Data" << 2 << false;
    QTest::newRow("app info opened over it") << "qrc:/content/AppInfo.qml"
                                             << "AppInfo" << 3 << false;
    // Its reloads bring nothing new: the buttons come back all the same.
    QTest::newRow("live session shown, not recording") << QString() << "Data" << 2 << true;
}

// The end of a run takes the saving page away, and only that page.
void TestDataScreen::bulkExportEnd()
{
    QFETCH(QString, opened);
    QFETCH(QString, top);
    QFETCH(int, depth);
    QFETCH(bool, liveShown);
    QJsonArray sessions;
    for (int i = 0; i < 4; ++i)
        sessions.append(fieldSession(QStringLiteral("2026-03-01T1%1:00:00Z").arg(i), 300));
    START(scenario(sessions));
    QTRY_VERIFY(item(QStringLiteral("bulkCsvButton"))->property("enabled").toBool());
    if (liveShown) {
        QVERIFY(clickRow(0));
        QTRY_VERIFY_WITH_TIMEOUT(
            item(QStringLiteral("saveCsvButton"))->property("enabled").toBool(), 10000);
    }
    StandInHid::instance().setFrameMs(4);

    QVERIFY(click(QStringLiteral("bulkCsvButton")));
    QObject *stack = viewStack();
    TopPageLog shown(stack);
    QTimer::singleShot(0, stack, [&] {
        // As the footer does, while the run goes on.
        QTRY_VERIFY_WITH_TIMEOUT(stack->property("depth").toInt() == 3, 5000);
        shown.pages.clear();
        if (opened.isEmpty())
            return;
        QQmlExpression push(qmlContext(stack), stack, QStringLiteral("push(\"%1\")").arg(opened));
        push.evaluate();
        QVERIFY(!push.hasError());
    });
    accept(QStringLiteral("bulkDownloadFileDialog"), QUrl::fromLocalFile(m_files->path()));
    StandInHid::instance().setFrameMs(0);
    QTRY_COMPARE_WITH_TIMEOUT(bannerText(), QStringLiteral("Saved to folder"), 60000);
    QTRY_COMPARE(topPage(), top);
    QCOMPARE(stack->property("depth").toInt(), depth);
    // The saving page neither stays nor shows again.
    QVERIFY2(!shown.pages.contains(QStringLiteral("SavingFiles")),
             qPrintable(shown.pages.join(' ')));
    QQmlExpression find(qmlContext(stack), stack,
                        QStringLiteral("find(function(page) { return page.pageName === "
                                       "\"SavingFiles\" }) === null"));
    QVERIFY(find.evaluate().toBool());
    if (liveShown)
        QTRY_VERIFY(item(QStringLiteral("saveCsvButton"))->property("enabled").toBool());
}

void TestDataScreen::unplugDuringBulkExport()
{
    QJsonArray sessions;
    for (int i = 0; i < 4; ++i)
        sessions.append(fieldSession(QStringLiteral("2026-03-01T1%1:00:00Z").arg(i), 300));
    START(scenario(sessions));
    QTRY_VERIFY(item(QStringLiteral("bulkCsvButton"))->property("enabled").toBool());
    StandInHid::instance().setFrameMs(4);

    QVERIFY(click(QStringLiteral("bulkCsvButton")));
    QObject *stack = viewStack();
    QTimer::singleShot(0, stack, [this, stack] {
        QTRY_VERIFY_WITH_TIMEOUT(stack->property("depth").toInt() == 3, 5000);
        QTest::qWait(50);
        QCOMPARE(topPage(), QStringLiteral("SavingFiles"));
        StandInHid::instance().simulator().unplug();
    });
    accept(QStringLiteral("bulkDownloadFileDialog"), QUrl::fromLocalFile(m_files->path()));
    StandInHid::instance().setFrameMs(0);
    QTRY_COMPARE_WITH_TIMEOUT(topPage(), QStringLiteral("NotConnected"), 30000);
    QCOMPARE(stack->property("depth").toInt(), 1);
    QVERIFY(QDir(m_files->path()).entryList(QDir::Files).size() < 4);
}

void TestDataScreen::rebootReturnsToNotConnected()
{
    START(scenario({fieldSession("2026-03-02T10:00:00Z", 3)}));
    QVERIFY(click(QStringLiteral("rebootButton")));
    QTRY_COMPARE(bannerText(), QStringLiteral("Device rebooting"));
    QTRY_VERIFY_WITH_TIMEOUT(topPage() == QStringLiteral("NotConnected") ||
                                 StandInHid::instance().simulator().requestCount(8) > 0,
                             10000);
    QVERIFY(StandInHid::instance().simulator().requestCount(8) > 0);
}

int main(int argc, char *argv[])
{
    return ShellTest::runInProcess<TestDataScreen>(argc, argv);
}

#include "tst_datascreen.moc"
