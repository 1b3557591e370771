import QtQuick

Item {
    id: root

    property alias icon: glyph.text
    property color color: "#d43f3a"
    property color hoverColor: "#c9302c"
    property int fontPointSize: 10

    signal clicked

    implicitWidth: tile.implicitWidth
    implicitHeight: tile.implicitHeight

    Rectangle {
        id: tile
        anchors.centerIn: parent
        implicitWidth: glyph.height * 1.1
        implicitHeight: implicitWidth
        width: root.width > 0 ? root.width : implicitWidth
        height: root.height > 0 ? root.height : implicitHeight
        radius: width / 8
        clip: true
        color: mouseArea.containsMouse ? root.hoverColor : root.color
        border.color: color

        Text {
            id: glyph
            anchors.centerIn: parent
            text: "PLACEHOLDER"
            font.family: "FontAwesome"
            font.pointSize: root.fontPointSize
            color: "white"
        }

        MouseArea {
            id: mouseArea
            anchors.fill: parent
            hoverEnabled: true
            cursorShape: Qt.PointingHandCursor
            onClicked: root.clicked()
        }
    }
}
