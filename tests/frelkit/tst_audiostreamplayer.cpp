#include "audiostreamplayer.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

namespace {

// n samples of a quiet tone, 16-bit little-endian.
QByteArray samples(int n)
{
    QByteArray bytes(n * 2, Qt::Uninitialized);
    for (int i = 0; i < n; ++i) {
        const qint16 v = (i % 14 < 7) ? 1000 : -1000;
        bytes[2 * i] = char(v & 0xff);
        bytes[2 * i + 1] = char((v >> 8) & 0xff);
    }
    return bytes;
}

// Records the player's signals by name, in the order they come.
struct SignalLog
{
    QStringList names;
    explicit SignalLog(AudiostreamPlayer &player)
    {
        QObject::connect(&player, &AudiostreamPlayer::started, [this] { names << "started"; });
        QObject::connect(&player, &AudiostreamPlayer::paused, [this] { names << "paused"; });
        QObject::connect(&player, &AudiostreamPlayer::finished, [this] { names << "finished"; });
        QObject::connect(&player, &AudiostreamPlayer::stateChanged,
                         [this] { names << "stateChanged"; });
    }
};

} // namespace

class TestAudiostreamPlayer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void withoutOutputEverythingIsIgnored();
    void playsToTheEndAndStops();
    void pauseAndRestartFromTheBeginning();
    void destroyedWhilePlaying();

private:
    bool expectOutput = false;
};

void TestAudiostreamPlayer::init()
{
    const QString dir = qEnvironmentVariable("QV_SOUND_SERVER_DIR");
    expectOutput = !dir.isEmpty();
    const QString test = QTest::currentTestFunction();
    if (expectOutput && test == QLatin1String("withoutOutputEverythingIsIgnored"))
        QSKIP("runs without a sound server");
    if (!expectOutput && test != QLatin1String("withoutOutputEverythingIsIgnored"))
        QSKIP("needs the null sound server");
    if (expectOutput && !QFile::exists(dir + "/ready"))
        QSKIP("no sound server could be started here");
}

void TestAudiostreamPlayer::withoutOutputEverythingIsIgnored()
{
    QTest::ignoreMessage(QtWarningMsg, "No default audio output device available.");
    AudiostreamPlayer player;
    SignalLog log(player);

    QVERIFY(!player.isAvailable());
    QVERIFY(!player.isPlaying());
    QVERIFY(!player.isPaused());
    QCOMPARE(player.state(), QAudio::StoppedState);

    player.play(samples(700));
    player.pause();
    player.stop();
    QTest::ignoreMessage(QtWarningMsg, "No default audio output device available.");
    player.initialize();
    QTest::qWait(100);
    QVERIFY(log.names.isEmpty());
    QVERIFY(!player.isAvailable());
}

void TestAudiostreamPlayer::playsToTheEndAndStops()
{
    AudiostreamPlayer player;
    QVERIFY(player.isAvailable());
    QCOMPARE(player.state(), QAudio::StoppedState);
    SignalLog log(player);
    QSignalSpy finished(&player, &AudiostreamPlayer::finished);

    // A second initialize keeps the output it has.
    player.initialize();
    QVERIFY(log.names.isEmpty());

    QTest::ignoreMessage(QtDebugMsg, "mAudioOutput State: StoppedState");
    QTest::ignoreMessage(QtDebugMsg, "Audio data: 2800 bytes, 1400 samples");
    player.play(samples(1400)); // 0.2 s
    QTRY_VERIFY_WITH_TIMEOUT(player.isPlaying() || !finished.isEmpty(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
    QTRY_COMPARE(player.state(), QAudio::StoppedState);
    QVERIFY(!player.isPlaying());
    QVERIFY(!player.isPaused());

    // started, stateChanged ... finished, stateChanged, then the stop's stateChanged.
    QCOMPARE(log.names.first(), QStringLiteral("started"));
    const int end = log.names.indexOf("finished");
    QCOMPARE(log.names.mid(end), (QStringList{"finished", "stateChanged", "stateChanged"}));
}

void TestAudiostreamPlayer::pauseAndRestartFromTheBeginning()
{
    AudiostreamPlayer player;
    QVERIFY(player.isAvailable());
    SignalLog log(player);

    player.pause(); // stopped: nothing happens
    QVERIFY(log.names.isEmpty());

    player.play(samples(14000)); // 2 s
    QTRY_VERIFY_WITH_TIMEOUT(player.isPlaying(), 5000);
    player.pause();
    QTRY_VERIFY(player.isPaused());
    QVERIFY(log.names.contains("paused"));
    QCOMPARE(player.state(), QAudio::SuspendedState);

    log.names.clear();
    player.pause(); // suspended: nothing happens
    QTest::qWait(50);
    QVERIFY(log.names.isEmpty());

    // From pause, play starts over with the new data and plays it whole.
    QSignalSpy finished(&player, &AudiostreamPlayer::finished);
    QTest::ignoreMessage(QtDebugMsg, "mAudioOutput State: SuspendedState");
    QTest::ignoreMessage(QtDebugMsg, "Audio data: 1400 bytes, 700 samples");
    player.play(samples(700));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
    QVERIFY(log.names.contains("started"));

    player.play(samples(14000));
    QTRY_VERIFY_WITH_TIMEOUT(player.isPlaying(), 5000);
    player.stop();
    QCOMPARE(player.state(), QAudio::StoppedState);
    QVERIFY(!player.isPlaying());
}

void TestAudiostreamPlayer::destroyedWhilePlaying()
{
    auto player = std::make_unique<AudiostreamPlayer>();
    QVERIFY(player->isAvailable());
    player->play(samples(14000));
    QTRY_VERIFY_WITH_TIMEOUT(player->isPlaying(), 5000);
    player.reset();
    // The output is gone with the player: nothing reports into freed memory.
    QTest::qWait(200);

    // And a new player gets an output again.
    AudiostreamPlayer again;
    QVERIFY(again.isAvailable());
}

QTEST_MAIN(TestAudiostreamPlayer)
#include "tst_audiostreamplayer.moc"
