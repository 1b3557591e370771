#pragma once

#include "quorvantis_global.h"

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <atomic>

// glibc's <sys/sysmacros.h> may define these as macros.
#ifdef major
#undef major
#endif
#ifdef minor
#undef minor
#endif

// A three-part version number (bootloader, firmware). Written on the device
// thread and read from the user interface, so the parts live in one atomic word.
class QUORVANTIS_EXPORT Version : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(uchar major READ major NOTIFY versionChanged)
    Q_PROPERTY(uchar minor READ minor NOTIFY versionChanged)
    Q_PROPERTY(uchar patch READ patch NOTIFY versionChanged)
    Q_PROPERTY(QString humanize READ humanize NOTIFY versionChanged)

public:
    explicit Version(QObject *parent = nullptr);
    Version(uchar major, uchar minor, uchar patch);

    uchar major() const;
    uchar minor() const;
    uchar patch() const;
    QString humanize() const;

    Q_INVOKABLE bool greaterThan(uchar major, uchar minor, uchar patch) const;
    Q_INVOKABLE bool lessThan(uchar major, uchar minor, uchar patch) const;
    Q_INVOKABLE bool equals(uchar major, uchar minor, uchar patch) const;

public slots:
    void setVersion(uchar major, uchar minor, uchar patch);

signals:
    void versionChanged(uchar major, uchar minor, uchar patch);

private:
    static quint32 pack(uchar major, uchar minor, uchar patch);

    std::atomic<quint32> m_packed{0};
};
