#include "audiostreamplayer.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QDebug>
#include <QMediaDevices>

AudiostreamPlayer::AudiostreamPlayer(QObject *parent) : QObject(parent)
{
    initialize();
}

AudiostreamPlayer::~AudiostreamPlayer()
{
    if (sink) {
        // No state reports into a half-destroyed player.
        sink->disconnect(this);
        sink->stop();
        sink.reset();
    }
}

bool AudiostreamPlayer::isAvailable() const
{
    return sink != nullptr;
}

bool AudiostreamPlayer::isPlaying() const
{
    return sink && sink->state() == QAudio::ActiveState;
}

bool AudiostreamPlayer::isPaused() const
{
    return sink && sink->state() == QAudio::SuspendedState;
}

QAudio::State AudiostreamPlayer::state() const
{
    return sink ? sink->state() : QAudio::StoppedState;
}

void AudiostreamPlayer::initialize()
{
    if (sink)
        return;

    QAudioFormat format;
    format.setSampleRate(7000);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);

    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        qWarning() << "No default audio output device available.";
        return;
    }

    sink = std::make_unique<QAudioSink>(device, format);
    connect(sink.get(), &QAudioSink::stateChanged, this, &AudiostreamPlayer::onStateChanged);
    buffer = new QBuffer(&data, this);
    buffer->open(QIODevice::ReadOnly);
    emit stateChanged();
}

void AudiostreamPlayer::play(const QByteArray &audioData)
{
    if (!sink)
        return;
    qDebug().nospace() << "mAudioOutput State: " << sink->state();
    if (sink->state() != QAudio::StoppedState)
        sink->stop();

    buffer->seek(0);
    data = audioData;
    qDebug().noquote()
        << QStringLiteral("Audio data: %1 bytes, %2 samples").arg(data.size()).arg(data.size() / 2);
    sink->start(buffer);
}

void AudiostreamPlayer::pause()
{
    if (sink && sink->state() == QAudio::ActiveState)
        sink->suspend();
}

void AudiostreamPlayer::stop()
{
    if (sink)
        sink->stop();
}

void AudiostreamPlayer::onStateChanged(QAudio::State newState)
{
    switch (newState) {
    case QAudio::ActiveState:
        emit started();
        emit stateChanged();
        break;
    case QAudio::SuspendedState:
        emit paused();
        emit stateChanged();
        break;
    case QAudio::StoppedState:
        emit stateChanged();
        break;
    case QAudio::IdleState:
        emit finished();
        emit stateChanged();
        sink->stop();
        break;
    }
}
