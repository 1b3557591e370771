import QtQuick

Item {
    id: root

    property string text: ""
    property color textColor: "#ffffff"
    property color statusColor: "#ffffff"

    height: 18
    width: label.width + dot.width + 10

    Row {
        id: row
        anchors.fill: parent
        spacing: 5

        Rectangle {
            id: dot
            width: row.height - 4
            anchors.top: parent.top
            anchors.bottom: parent.bottom
            anchors.margins: 2
            radius: (row.height - 4) / 2
            color: root.statusColor
        }
        Text {
            id: label
            anchors.verticalCenter: parent.verticalCenter
            text: root.text
            color: root.textColor
            font.bold: true
            font.pixelSize: Math.max(1, Math.trunc(row.height - 6))
        }
    }
}
