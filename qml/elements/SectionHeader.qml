import QtQuick

Rectangle {
    id: root

    property alias text: heading.text
    property alias font: heading.font

    width: parent ? parent.width : 0
    height: 1.5 * heading.height
    color: "#111"

    Text {
        id: heading
        anchors.centerIn: parent
        text: "PLACEHOLDER"
        font.bold: true
        color: "white"
    }
}
