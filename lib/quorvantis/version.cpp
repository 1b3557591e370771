#include "version.h"

Version::Version(QObject *parent) : QObject(parent) {}

Version::Version(uchar major, uchar minor, uchar patch) : m_packed(pack(major, minor, patch)) {}

quint32 Version::pack(uchar major, uchar minor, uchar patch)
{
    return (quint32(major) << 16) | (quint32(minor) << 8) | quint32(patch);
}

uchar Version::major() const
{
    return uchar(m_packed.load() >> 16);
}

uchar Version::minor() const
{
    return uchar(m_packed.load() >> 8);
}

uchar Version::patch() const
{
    return uchar(m_packed.load());
}

QString Version::humanize() const
{
    const quint32 v = m_packed.load();
    return QStringLiteral("%1.%2.%3").arg(uchar(v >> 16)).arg(uchar(v >> 8)).arg(uchar(v));
}

// The packed word orders lexicographically by (major, minor, patch).
bool Version::greaterThan(uchar major, uchar minor, uchar patch) const
{
    return m_packed.load() > pack(major, minor, patch);
}

bool Version::lessThan(uchar major, uchar minor, uchar patch) const
{
    return m_packed.load() < pack(major, minor, patch);
}

bool Version::equals(uchar major, uchar minor, uchar patch) const
{
    return m_packed.load() == pack(major, minor, patch);
}

void Version::setVersion(uchar major, uchar minor, uchar patch)
{
    m_packed.store(pack(major, minor, patch));
    emit versionChanged(major, minor, patch);
}
