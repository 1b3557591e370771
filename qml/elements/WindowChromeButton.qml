import QtQuick

Item {
    id: root

    property int diameter: 20
    property color color: "#d43f3a"
    property color hoverColor: "#c9302c"

    signal clicked

    Rectangle {
        id: circle
        width: root.diameter
        height: root.diameter
        radius: root.diameter / 2
        clip: true
        color: mouseArea.containsMouse ? root.hoverColor : root.color
        border.color: color

        MouseArea {
            id: mouseArea
            anchors.fill: parent
            hoverEnabled: true
            cursorShape: Qt.PointingHandCursor
            onClicked: root.clicked()
        }
    }
}
