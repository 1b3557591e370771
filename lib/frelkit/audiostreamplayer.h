#pragma once

#include "frelkit_global.h"

#include <QAudio>
#include <QByteArray>
#include <QObject>
#include <QtQml/qqmlregistration.h>
#include <memory>

class QAudioSink;
class QBuffer;

// Plays 16-bit mono samples at 7000 Hz on the default audio output. Without an
// output it stays unavailable and ignores play, pause and stop.
class FRELKIT_EXPORT AudiostreamPlayer : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool isAvailable READ isAvailable NOTIFY stateChanged)
    Q_PROPERTY(bool isPlaying READ isPlaying NOTIFY stateChanged)
    Q_PROPERTY(bool isPaused READ isPaused NOTIFY stateChanged)
    Q_PROPERTY(QAudio::State state READ state NOTIFY stateChanged)

public:
    explicit AudiostreamPlayer(QObject *parent = nullptr);
    ~AudiostreamPlayer() override;

    bool isAvailable() const;
    bool isPlaying() const;
    bool isPaused() const;
    QAudio::State state() const;

signals:
    void started();
    void paused();
    void finished();
    void stateChanged();

public slots:
    void initialize();
    void play(const QByteArray &audioData);
    void pause();
    void stop();

private slots:
    void onStateChanged(QAudio::State state);

private:
    std::unique_ptr<QAudioSink> sink;
    QByteArray data;
    QBuffer *buffer = nullptr;
};
