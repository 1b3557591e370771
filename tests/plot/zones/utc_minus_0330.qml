import QtQuick

Item {
    id: root
    width: 400
    height: 300

    ZoneCase {
        name: "ZoneUtcMinus0330"
        host: root
        expectedOffsetHours: -3.5
        expectedClock: "08:30"
    }
}
