#pragma once

// What the in-process benchmarks print their figures with.

#include <QFile>
#include <QList>
#include <QString>
#include <algorithm>
#include <cstdio>

namespace BenchFigures {

inline double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// "median (lowest to highest)".
inline QString spread(const QList<double> &values, const char *format = "%.0f")
{
    if (values.isEmpty())
        return QStringLiteral("-");
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    return QString::asprintf(format, median(values)) + QStringLiteral(" (") +
           QString::asprintf(format, *low) + QStringLiteral(" to ") +
           QString::asprintf(format, *high) + QLatin1Char(')');
}

inline QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly)
               ? QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2)
               : QStringLiteral("?");
}

// The program under test must meet the simulated instrument, not a real one.
inline bool standInHidOnPath()
{
    if (qEnvironmentVariable("LD_LIBRARY_PATH").contains(QLatin1String("standin-hidapi")))
        return true;
    std::fprintf(stderr, "put the stand-in hidapi (build/standin-hidapi) on LD_LIBRARY_PATH\n");
    return false;
}

} // namespace BenchFigures
