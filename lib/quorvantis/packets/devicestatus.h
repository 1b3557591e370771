#pragma once

#include "quorvantis_global.h"
#include "usertrigger.h"

#include <atomic>

// User trigger 3: battery voltage and whether recording is switched off.
class QUORVANTIS_EXPORT DeviceStatus : public UserTrigger
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(double batteryVoltage READ batteryVoltage NOTIFY batteryVoltageChanged)
    Q_PROPERTY(bool memoryDisabled READ memoryDisabled NOTIFY memoryDisabledChanged)

public:
    explicit DeviceStatus(QObject *parent = nullptr);
    ~DeviceStatus() override;

    double batteryVoltage() const { return m_batteryVoltage.load(); }
    bool memoryDisabled() const { return m_memoryDisabled.load(); }

    // The battery divider and reference: raw / 1023 x 3.3 x 122 / 100 volts.
    static double voltageFromRaw(quint16 raw);

public slots:
    ErrorCode read(const Response *response, Device *device) override;

signals:
    void batteryVoltageChanged();
    void memoryDisabledChanged();

protected slots:
    void setBatteryLevel(double batteryVoltage);
    void setMemoryDisabled(bool disabled);

private:
    std::atomic<double> m_batteryVoltage{0.0};
    std::atomic<bool> m_memoryDisabled{false};
};
