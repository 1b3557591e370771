#pragma once

#include "modeltestsupport.h"

#include <QByteArray>

// Several field and audio sessions, big enough that a load takes a dozen exchanges.
inline QByteArray robustnessScenario(bool live = false)
{
    QByteArray sessions;
    QDateTime start(QDate(2026, 4, 2), QTime(8, 0, 0), Qt::UTC);
    for (int s = 0; s < 6; ++s) {
        start = start.addSecs(5400);
        if (s % 3 == 1)
            sessions +=
                audioSessionJson(start, 500 + 37 * s, [s](int i) { return (i * 29 + s) % 255; });
        else
            sessions += fieldSessionJson(start, 120 + 11 * s, [s](int i) {
                return std::array<int, 3>{i ? 1 + i % 7 : 0, (i * 7 + s) % 250, (i * 13) % 250};
            });
    }
    sessions.chop(1);
    QByteArray json =
        R"({"identity": {"barcode": 314159, "databaseId": 9}, "sessions": [)" + sessions + "]";
    if (live)
        json += R"(, "live": {"appendEveryMs": 1000000, "records": [[1, 100, 90], [2, 60, 70]]})";
    return json + "}";
}
