import QtQuick

// The design tool's event system is not part of this build: the simulator keeps
// its interface and timer, and showing its window is a no-op.
QtObject {
    id: root

    property bool active: true
    readonly property url eventListUrl: Qt.resolvedUrl("EventListModel.qml")

    property Timer timer: Timer {
        interval: 100
    }

    Component.onCompleted: {
        if (active)
            timer.start()
    }
}
