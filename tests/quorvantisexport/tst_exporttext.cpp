#include "exporttext.h"
#include "wholefile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <csignal>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qvexport;
using namespace wholefile;

namespace {
int modeOf(const QString &path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}
} // namespace

class TestExportText : public QObject
{
    Q_OBJECT

private slots:
    void headings();
    void rows();
    void numbersMatchQt_data();
    void numbersMatchQt();
    void dateTextAcrossDays();
    void names();
    void pairedExtensions();
    void localPaths();
    void collisions();
    void savingFailsWithoutLeftovers();
    void partsArePrivateAndModesKept();
};

void TestExportText::headings()
{
    QByteArray out;
    RowWriter(",", "\n", NumberStyle::Significant6).appendHeading(out, true);
    RowWriter("\t", "\n", NumberStyle::Fixed4).appendHeading(out, false);
    QCOMPARE(out, QByteArray("# Timestamp,Exposure [Pub %],EField [Pub %],HField [Pub %],"
                             "Alarm State,6min Avg,30min Avg\n"
                             "# Timestamp\tExposure [Occ %]\tEField [Occ %]\tHField [Occ %]\t"
                             "Alarm State\t6min Avg\t30min Avg\n"));
}

void TestExportText::rows()
{
    const QDateTime t(QDate(2024, 1, 31), QTime(14, 2, 3));
    QByteArray file;
    RowWriter(",", "\n", NumberStyle::Significant6)
        .appendRow(file, t, 12.3456789, 12.3456789, 0.000012, 3, 1.9545, 100);
    QCOMPARE(file, QByteArray("2024/01/31 14:02:03,12.3457,12.3457,1.2e-05,3,1.9545,100\n"));

    QByteArray clip;
    RowWriter("\t", "\n", NumberStyle::Fixed4)
        .appendRow(clip, t, 12.3456789, 1.5, 0, 0, 2, 0.00004);
    QCOMPARE(clip, QByteArray("2024/01/31 14:02:03\t12.3457\t1.5000\t0.0000\t0\t2.0000\t0.0000\n"));

    // A step row repeats the last row's values at a new time.
    RowWriter steps(",", "\r\n", NumberStyle::Significant6);
    QByteArray stepped;
    steps.appendRow(stepped, t, 3, 3, 1, 0, 2, 2);
    steps.appendStep(stepped, t.addDays(1));
    QCOMPARE(stepped, QByteArray("2024/01/31 14:02:03,3,3,1,0,2,2\r\n"
                                 "2024/02/01 14:02:03,3,3,1,0,2,2\r\n"));

    // A row without a time has an empty first field, as the date-time's own text would.
    QByteArray noTime;
    RowWriter(",", "\n", NumberStyle::Significant6)
        .appendRow(noTime, QDateTime(), 1, 1, 0, 0, 0, 0);
    QCOMPARE(noTime, QByteArray(",1,1,0,0,0,0\n"));
}

void TestExportText::numbersMatchQt_data()
{
    QTest::addColumn<int>("style");
    QTest::newRow("significant") << int(NumberStyle::Significant6);
    QTest::newRow("fixed") << int(NumberStyle::Fixed4);
}

void TestExportText::numbersMatchQt()
{
    QFETCH(int, style);
    const bool general = style == int(NumberStyle::Significant6);
    std::vector<double> values = {0.0, -0.0,     1.0,          12.3456789, 0.000012,
                                  1.5, 123456.5, 1234565,      0.03125,    0.00015,
                                  2.5, 1e21,     std::nan(""), INFINITY,   -INFINITY};
    // Instrument values: one byte through a logarithmic scale, both scales.
    for (int b = 0; b < 256; ++b) {
        values.push_back(200 * std::pow(10.0, -b / 100.0));
        values.push_back(1000 * std::pow(10.0, -b / 100.0));
    }
    // Values exactly halfway between two results: the rounding direction differs
    // between libraries, so these are the ones that can go wrong.
    for (int k = 1; k < 4000; k += 2) {
        values.push_back(k / 32.0);
        values.push_back(k / 2048.0);
        values.push_back(1234560 + k * 0.5);
    }
    // Decimal texts one digit past the precision ending in 5: near, not at, one half.
    for (int k = 0; k < 3000; ++k) {
        const QString digits = QString::number(1000005 + 10 * k * 37 % 8999990);
        for (int point = 1; point < 7; ++point)
            values.push_back((digits.left(point) + '.' + digits.mid(point)).toDouble());
        values.push_back(("0.0" + digits).toDouble());
        values.push_back(("1." + digits.right(5)).toDouble());
    }
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> exponent(-9, 7);
    for (int i = 0; i < 200000; ++i)
        values.push_back((i % 2 ? -1 : 1) * std::pow(10.0, exponent(random)));

    RowWriter writer(",", "\n", NumberStyle(style));
    for (int pass = 0; pass < 2; ++pass) { // the second pass reads the memo
        for (double v : values) {
            QByteArray out;
            writer.appendNumber(out, v);
            const QByteArray expected = QByteArray::number(v, general ? 'g' : 'f', general ? 6 : 4);
            if (out != expected)
                QFAIL(
                    qPrintable(QStringLiteral("%1: %2 instead of %3")
                                   .arg(v, 0, 'g', 17)
                                   .arg(QString::fromLatin1(out), QString::fromLatin1(expected))));
        }
    }
}

void TestExportText::dateTextAcrossDays()
{
    RowWriter writer(",", "\n", NumberStyle::Significant6);
    QByteArray out;
    const QDateTime start(QDate(2023, 12, 31), QTime(23, 59, 58));
    for (int s = 0; s < 4; ++s) {
        writer.appendDateTime(out, start.addSecs(s));
        out.append('|');
    }
    writer.appendDateTime(out, start);
    QCOMPARE(out, QByteArray("2023/12/31 23:59:58|2023/12/31 23:59:59|2024/01/01 00:00:00|"
                             "2024/01/01 00:00:01|2023/12/31 23:59:58"));

    // A UTC time keeps its own clock, like the date-time's own text.
    QByteArray utc;
    const QDateTime u(QDate(2024, 6, 1), QTime(10, 0, 0), Qt::UTC);
    writer.appendDateTime(utc, u);
    QCOMPARE(utc, u.toString("yyyy/MM/dd HH:mm:ss").toUtf8());
}

void TestExportText::names()
{
    // name, folder and base, extension
    const QStringList cases[] = {{"/x/log.csv", "/x/log", ".csv"},
                                 {"/x/my.session.csv", "/x/my", ".session.csv"},
                                 {"/x/log", "/x/log", ""},
                                 {"/x/log.", "/x/log", ""},
                                 {"/x.y/log.tsv", "/x.y/log", ".tsv"},
                                 {"/x/.csv", "/x/", ".csv"},
                                 {"file:///x/a%20b.csv", "/x/a b", ".csv"}};
    for (const QStringList &c : cases) {
        const SaveName name = saveNameOf(c[0]);
        QCOMPARE(name.folder + '/' + name.base, c[1]);
        QCOMPARE(name.extension, c[2]);
    }
}

void TestExportText::pairedExtensions()
{
    // name, comma-separated extension, tab-separated extension
    const QStringList cases[] = {{"/x/a.csv", ".csv", ".tsv"},
                                 {"/x/a.TSV", ".csv", ".tsv"},
                                 {"/x/a.session.csv", ".session.csv", ".session.tsv"},
                                 {"/x/a.txt", ".txt.csv", ".txt.tsv"},
                                 {"/x/a", ".csv", ".tsv"}};
    for (const QStringList &c : cases) {
        QCOMPARE(pairedExtension(saveNameOf(c[0]).extension, "csv"), c[1]);
        QCOMPARE(pairedExtension(saveNameOf(c[0]).extension, "tsv"), c[2]);
    }
}

void TestExportText::localPaths()
{
    QCOMPARE(localPathOf("file:///tmp/x/log.csv"), QString("/tmp/x/log.csv"));
    QCOMPARE(localPathOf("file:///tmp/a%20b.csv"), QString("/tmp/a b.csv"));
    QCOMPARE(localPathOf("/tmp/file:/log.csv"), QString("/tmp/file:/log.csv"));
    QCOMPARE(localPathOf("relative/log.csv"), QString("relative/log.csv"));
}

void TestExportText::collisions()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString base = dir.filePath("log");
    const SaveName name = saveNameOf(base + ".csv");
    const auto keep = [&name](const QByteArray &bytes) {
        return wholefile::write(name, {bytes}, Existing::Keep, Links::Never).path;
    };
    QCOMPARE(keep("a"), base + ".csv");
    QCOMPARE(keep("b"), base + "_1.csv");
    QCOMPARE(wholefile::write(name, {"c"}, Existing::Replace, Links::Never).path, base + ".csv");
    // A folder and a dangling link in the way count as taken as well.
    QVERIFY(QDir(dir.path()).mkdir("log_2.csv"));
    QVERIFY(QFile::link(dir.filePath("elsewhere.csv"), base + "_3.csv"));
    QCOMPARE(keep("d"), base + "_4.csv");
    QVERIFY(!QFileInfo::exists(dir.filePath("elsewhere.csv")));
    QCOMPARE(wholefile::write(saveNameOf(base), {"e"}, Existing::Keep, Links::Never).path, base);
    // Taken by another writer between the look and the move: never replaced.
    qputenv("QV_FAULT_TAKE_NAME", QFile::encodeName(base + "_5.csv"));
    QCOMPARE(keep("f"), base + "_6.csv");
    qunsetenv("QV_FAULT_TAKE_NAME");
    // A NUL would end the name at "log", the file just written: refused.
    const SaveName cut = saveNameOf(base + QChar::Null + ".csv");
    QVERIFY(!wholefile::write(cut, {"f"}, Existing::Keep, Links::Never).ok());
    QVERIFY(!wholefile::write(cut, {"f"}, Existing::Replace, Links::Never).ok());
    QFile file(base + ".csv");
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("c"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 6);

    // The search for a free name ends.
    const SaveName full = saveNameOf(dir.filePath("full.csv"));
    for (int n = 0; n <= maxNumbered; ++n)
        QVERIFY(QFile(n ? full.numbered(n) : full.path()).open(QIODevice::WriteOnly));
    QVERIFY(!wholefile::write(full, {"g"}, Existing::Keep, Links::Never).ok());
}

void TestExportText::savingFailsWithoutLeftovers()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const auto save = [](const QString &path, const QByteArray &bytes) {
        return wholefile::write(path, bytes, Existing::Replace, Links::Follow);
    };
    const QString good = dir.filePath("good.csv");
    QVERIFY(save(good, "one").ok());
    QVERIFY(save(good, "two").ok());
    // Some file systems tell of a lost write only when asked to sync.
    qputenv("QV_FAULT_FSYNC", "fail");
    QVERIFY(!save(good, "three").ok());
    qunsetenv("QV_FAULT_FSYNC");
    QFile file(good);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("two"));

    // A folder where the file should go: CI runs as root, so no permission trick.
    const QString blocked = dir.filePath("blocked.csv");
    QVERIFY(QDir(dir.path()).mkdir("blocked.csv"));
    QVERIFY(!save(blocked, "data").error.isEmpty());
    QVERIFY(QFileInfo(blocked).isDir());

    QVERIFY(!save(dir.filePath("missing/folder/x.csv"), "data").ok());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"good.csv"});
}

void TestExportText::partsArePrivateAndModesKept()
{
    QTemporaryDir dir;
    ::umask(022);
    QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const QString target = dir.filePath("shared.csv");
    QVERIFY(wholefile::write(target, "a", Existing::Keep, Links::Never).ok());
    QCOMPARE(modeOf(target), 0644);
    const pid_t writer = ::fork();
    if (writer == 0) {
        qputenv("QV_FAULT_FSYNC", "hang");
        wholefile::write(target, "b", Existing::Replace, Links::Never);
        ::_exit(0);
    }
    auto reap = qScopeGuard([writer] { ::kill(writer, SIGKILL), ::waitpid(writer, nullptr, 0); });
    const auto parts = [&dir] {
        return QDir(dir.path()).entryList({".*.part"}, QDir::Files | QDir::Hidden);
    };
    QTRY_COMPARE(parts().size(), 1);
    const QString part = dir.filePath(parts().value(0));
    QCOMPARE(modeOf(part), 0600);
    if (::geteuid() == 0) { // root reads anything: an ordinary user tries
        // From inside the folder, whatever the folders above it let others do.
        QProcess nobody;
        nobody.setWorkingDirectory(dir.path());
        nobody.start("setpriv", {"--reuid=nobody", "--regid=nogroup", "--clear-groups", "sh", "-c",
                                 "cat \"$0\" && ! cat \"$1\"", QFileInfo(target).fileName(),
                                 QFileInfo(part).fileName()});
        QVERIFY(nobody.waitForFinished());
        QCOMPARE(nobody.exitCode(), 0);
    }

    // Exactly, where root's own access would make it 0644; a running writer's part stays.
    QCOMPARE(::chmod(QFile::encodeName(target).constData(), 0444), 0);
    QVERIFY(wholefile::write(target, "c", Existing::Replace, Links::Never).ok());
    QCOMPARE(modeOf(target), 0444);
    QVERIFY(QFile::exists(part));
    reap.dismiss();
    QVERIFY(::kill(writer, SIGKILL) == 0 && ::waitpid(writer, nullptr, 0) == writer);
    QVERIFY(wholefile::write(target, "d", Existing::Replace, Links::Never).ok());
    QCOMPARE(parts(), QStringList());
}

QTEST_GUILESS_MAIN(TestExportText)
#include "tst_exporttext.moc"
