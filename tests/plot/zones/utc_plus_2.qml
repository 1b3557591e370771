import QtQuick

Item {
    id: root
    width: 400
    height: 300

    ZoneCase {
        name: "ZoneUtcPlus2"
        host: root
        expectedOffsetHours: 2
        expectedClock: "14:00"
    }
}
