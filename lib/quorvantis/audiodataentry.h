#pragma once

#include "dataentry.h"
#include "quorvantis_global.h"

#include <QtQml/qqmlregistration.h>

// A recorded audio clip: 16-bit PCM samples, one channel, 7000 samples per second.
class QUORVANTIS_EXPORT AudioDataEntry : public DataEntry
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("DataEntries cannot be instantiated, they will be provided by the "
                    "FetchDataEntries packet type.")
    Q_PROPERTY(QByteArray wavData READ wavData NOTIFY audioDataAvailable)
    Q_PROPERTY(QByteArray rawData READ rawData NOTIFY audioDataAvailable)

public:
    AudioDataEntry(QDateTime dateTime, ulong absoluteAddress, QObject *parent = nullptr);

    QByteArray wavData() const { return m_wavData; }
    QByteArray rawData() const { return m_rawData; }

    static constexpr int sampleRate = 7000;

signals:
    void audioDataAvailable();

protected:
    void onDataAvailable(QByteArray payload, bool finished) override;

private:
    QByteArray m_wavData;
    QByteArray m_rawData;
};
