// qv-probe against the stand-in hidapi: every line it prints is checked against
// the scenario the simulated instrument was given, computed here on its own.
#include "scenario.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QtTest>
#include <algorithm>
#include <cmath>

namespace {

// Sample bytes to 10-bit levels, as the instrument records audio.
constexpr int sampleLevels[256] = {
    8,   31,  59,  85,  107, 128, 147, 164,  180, 195, 209, 222, 233, 244, 255, 264, 273, 282, 290,
    297, 304, 311, 318, 324, 330, 335, 341,  346, 351, 355, 360, 364, 368, 372, 376, 379, 383, 386,
    389, 392, 395, 398, 401, 404, 406, 409,  412, 414, 416, 419, 421, 423, 425, 427, 429, 431, 432,
    434, 436, 438, 439, 441, 442, 444, 445,  447, 448, 449, 451, 452, 453, 455, 456, 457, 458, 459,
    460, 461, 462, 463, 465, 466, 467, 468,  469, 470, 471, 472, 473, 474, 475, 476, 477, 478, 479,
    480, 481, 482, 483, 484, 485, 486, 487,  488, 489, 490, 491, 492, 493, 494, 495, 496, 497, 498,
    499, 500, 501, 502, 503, 504, 505, 506,  507, 508, 509, 510, 511, 512, 513, 514, 515, 516, 517,
    518, 519, 520, 521, 522, 523, 524, 525,  526, 527, 528, 529, 530, 531, 532, 533, 534, 535, 536,
    537, 538, 539, 540, 541, 542, 543, 544,  545, 546, 547, 548, 549, 550, 551, 552, 553, 554, 555,
    556, 557, 558, 560, 561, 562, 563, 564,  565, 566, 567, 568, 570, 571, 572, 574, 575, 576, 578,
    579, 581, 582, 584, 585, 587, 589, 591,  592, 594, 596, 598, 600, 602, 604, 606, 608, 611, 613,
    615, 618, 621, 623, 626, 629, 632, 635,  638, 642, 645, 649, 653, 657, 661, 665, 669, 674, 678,
    684, 689, 695, 701, 707, 713, 720, 727,  735, 743, 751, 760, 770, 780, 791, 803, 816, 830, 844,
    860, 878, 897, 917, 940, 965, 993, 1016, 0};

constexpr double noiseFloor = 1.9545;

struct Reading
{
    QDateTime time;
    double e = 0, h = 0;
    double max() const { return std::max(e, h); }
};

double decode(int byte, bool isPublic)
{
    return (isPublic ? 1000.0 : 200.0) * std::pow(10.0, -byte / 100.0);
}

int alarm(double m, bool isPublic)
{
    const double low = isPublic ? 80 : 50, high = isPublic ? 500 : 200;
    return m < low ? 0 : m < 100 ? 1 : m < high ? 2 : 3;
}

// Each reading's value holds until the next; the window's part before the
// first reading counts as the noise floor.
double average(const QList<Reading> &r, int window)
{
    const int last = r.size() - 1;
    double sum = 0;
    for (int i = last - 1; i >= 0; --i) {
        const qint64 age = r[i].time.secsTo(r[last].time);
        sum += r[i].max() * r[i].time.secsTo(r[i + 1].time);
        if (age < window && i == 0)
            return (sum + noiseFloor * (window - age)) / window;
        if (age >= window)
            return (sum - r[i].max() * (age - window)) / window;
    }
    return noiseFloor;
}

QByteArray wave(const QByteArray &samples)
{
    QByteArray pcm;
    for (const char byte : samples) {
        const qint16 value = qint16((sampleLevels[uchar(byte)] - 512) * 63);
        pcm.append(char(value & 0xFF)).append(char((value >> 8) & 0xFF));
    }
    if (pcm.size() >= 3000)
        pcm = pcm.mid(1500, pcm.size() - 3000);
    const auto le32 = [](quint32 v) {
        QByteArray b;
        for (int i = 0; i < 4; ++i)
            b.append(char((v >> (8 * i)) & 0xFF));
        return b;
    };
    const auto le16 = [](quint16 v) {
        QByteArray b;
        return b.append(char(v & 0xFF)).append(char(v >> 8));
    };
    return "RIFF" + le32(36 + pcm.size()) + "WAVEfmt " + le32(16) + le16(1) + le16(1) + le32(7000) +
           le32(14000) + le16(2) + le16(16) + "data" + le32(pcm.size()) + pcm;
}

QString utc(const QDateTime &t)
{
    return t.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + QLatin1Char('Z');
}

// "key=value" pairs of one output line.
QMap<QString, QString> fields(const QString &line)
{
    QMap<QString, QString> map;
    for (const QString &part : line.split(QLatin1Char(' '))) {
        const int eq = part.indexOf(QLatin1Char('='));
        if (eq > 0)
            map.insert(part.left(eq), part.mid(eq + 1));
    }
    return map;
}

bool close(const QString &printed, double expected)
{
    bool ok = false;
    const double value = printed.toDouble(&ok);
    return ok && std::abs(value - expected) <= 1e-5 * std::max(1.0, std::abs(expected));
}

QProcessEnvironment probeEnvironment(const QString &scenario)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_LIBRARY_PATH"), QStringLiteral(QV_STANDIN_HIDAPI_DIR));
    env.insert(QStringLiteral("QV_SIM_SCENARIO"), scenario);
    env.remove(QStringLiteral("QV_SIM_FRAME_MS"));
    env.remove(QStringLiteral("QV_SIM_PLUG_FILE"));
    return env;
}

} // namespace

class TestProbe : public QObject
{
    Q_OBJECT

private slots:
    void matchesScenario_data();
    void matchesScenario();
    void failsWithoutInstrument();
};

void TestProbe::matchesScenario_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("private unit, fields and audio") << QStringLiteral("probe.json");
    QTest::newRow("public unit, no extended query") << QStringLiteral("probe-public.json");
}

void TestProbe::matchesScenario()
{
    QFETCH(QString, file);
    const QString path = Scenario::dataPath(file);
    Scenario scenario;
    QString error;
    QVERIFY2(scenario.loadFile(path, &error), qPrintable(error));

    QProcess probe;
    probe.setProcessEnvironment(probeEnvironment(path));
    probe.start(QStringLiteral(QV_PROBE_PATH), {QStringLiteral("--timeout"), QStringLiteral("20")});
    QVERIFY(probe.waitForFinished(60000));
    const QByteArray errors = probe.readAllStandardError();
    QVERIFY2(probe.exitCode() == 0, errors.constData());
    QVERIFY2(!errors.contains("misuse"), errors.constData());
    QStringList lines = QString::fromUtf8(probe.readAllStandardOutput()).split(QLatin1Char('\n'));
    QCOMPARE(lines.takeLast(), QString()); // ends with a line feed

    const bool pub = scenario.isPublic;
    const QString bootloader =
        scenario.extendedQuery
            ? QStringLiteral("%1.%2.0").arg(scenario.bootloaderMajor).arg(scenario.bootloaderMinor)
            : QStringLiteral("1.0.0");
    const QString firmware =
        scenario.extendedQuery
            ? QStringLiteral("%1.%2.0").arg(scenario.firmwareMajor).arg(scenario.firmwareMinor)
            : QStringLiteral("0.0.0");
    QCOMPARE(lines.takeFirst(), QStringLiteral("device barcode=%1 hw=%2 public=%3 bootloader=%4 "
                                               "firmware=%5")
                                    .arg(scenario.barcode)
                                    .arg(scenario.hardwareVersion)
                                    .arg(int(pub))
                                    .arg(bootloader, firmware));

    QList<Scenario::Session> sessions = scenario.sessions;
    std::stable_sort(sessions.begin(), sessions.end(),
                     [](const auto &a, const auto &b) { return a.start > b.start; });
    int exchangesNeeded = 0;
    for (int i = 0; i < sessions.size(); ++i) {
        const Scenario::Session &s = sessions.at(i);
        QVERIFY2(!lines.isEmpty(), "a session is missing");
        const bool audio = s.type == Scenario::Session::Audio;
        const int units = audio ? int(s.samples.size()) : int(s.records.size());
        const int count = audio && units >= 1500 ? units - 1500 : units;
        QCOMPARE(lines.takeFirst(),
                 QStringLiteral("session %1 type=%2 start=%3 valid=1 count=%4")
                     .arg(i)
                     .arg(QString::fromLatin1(audio ? "audio" : "field"), utc(s.start))
                     .arg(count));
        exchangesNeeded += 1;
        if (audio) {
            const QByteArray wav = wave(s.samples);
            QCOMPARE(lines.takeFirst(),
                     QStringLiteral("audio bytes=%1 sha256=%2")
                         .arg(wav.size())
                         .arg(QString::fromLatin1(
                             QCryptographicHash::hash(wav, QCryptographicHash::Sha256).toHex())));
            continue;
        }
        QList<Reading> readings;
        QDateTime at = s.start;
        for (const Scenario::FieldRecord &record : s.records) {
            at = at.addSecs(record[0]);
            readings.append({at, decode(record[1], pub), decode(record[2], pub)});
            const Reading &r = readings.last();
            const QString line = lines.takeFirst();
            const QMap<QString, QString> f = fields(line);
            const QByteArray where = line.toUtf8();
            QVERIFY2(line.startsWith(QStringLiteral("reading %1 ").arg(utc(r.time))),
                     where.constData());
            QVERIFY2(close(f.value("e"), r.e), where.constData());
            QVERIFY2(close(f.value("h"), r.h), where.constData());
            QVERIFY2(close(f.value("max"), r.max()), where.constData());
            QVERIFY2(f.value("alarm") == QString::number(alarm(r.max(), pub)), where.constData());
            QVERIFY2(close(f.value("avg6"), average(readings, 360)), where.constData());
            QVERIFY2(close(f.value("avg30"), average(readings, 1800)), where.constData());
        }
    }
    QCOMPARE(lines.size(), 1);
    const QMap<QString, QString> transfer = fields(lines.first());
    QVERIFY2(lines.first().startsWith("transfer "), qPrintable(lines.first()));
    // At least one memory read per session; the figures are the benchmark's.
    QVERIFY(transfer.value("exchanges").toInt() >= exchangesNeeded);
    QVERIFY(transfer.value("seconds").toDouble() > 0);
    QVERIFY(transfer.contains("cpu"));
}

void TestProbe::failsWithoutInstrument()
{
    QTemporaryDir dir;
    QProcess probe;
    QProcessEnvironment env = probeEnvironment(Scenario::dataPath("probe.json"));
    // The plug file does not exist: nothing is plugged in.
    env.insert(QStringLiteral("QV_SIM_PLUG_FILE"), dir.filePath("plugged"));
    probe.setProcessEnvironment(env);
    probe.start(QStringLiteral(QV_PROBE_PATH), {QStringLiteral("--timeout"), QStringLiteral("2")});
    QVERIFY(probe.waitForFinished(30000));
    QVERIFY(probe.exitCode() != 0);
    QCOMPARE(probe.readAllStandardOutput(), QByteArray());
    QVERIFY(probe.readAllStandardError().contains("did not connect"));
}

QTEST_GUILESS_MAIN(TestProbe)
#include "test_probe.moc"
