import QtQuick
import QVImports
import FontAwesome

Rectangle {
    id: root

    property alias text: label.text
    property alias preIcon: preIconItem.icon
    property alias postIcon: postIconItem.icon
    property bool enabled: true
    property int spacing: 10
    property real rectHeightMultiplier: 1.5
    property real rectWidthMultiplier: 1.5
    property int fontPointSize: 10
    property int iconPointSize: 10

    readonly property color contentColour: enabled ? Constants.qvOrangeColour : "#666"

    signal clicked

    radius: 4
    clip: true
    width: row.width * rectWidthMultiplier
    height: row.height * rectHeightMultiplier
    color: root.enabled && mouseArea.containsMouse ? "#666" : "transparent"

    Row {
        id: row
        anchors.centerIn: parent
        spacing: root.spacing

        FontAwesomeIcon {
            id: preIconItem
            anchors.verticalCenter: parent.verticalCenter
            visible: icon !== ""
            fontPointSize: root.iconPointSize
            color: root.contentColour
        }
        Text {
            id: label
            anchors.verticalCenter: parent.verticalCenter
            text: "TEXT"
            font.pointSize: root.fontPointSize
            color: root.contentColour
        }
        FontAwesomeIcon {
            id: postIconItem
            anchors.verticalCenter: parent.verticalCenter
            visible: icon !== ""
            fontPointSize: root.iconPointSize
            color: root.contentColour
        }
    }

    MouseArea {
        id: mouseArea
        anchors.fill: parent
        hoverEnabled: true
        enabled: root.enabled
        cursorShape: Qt.PointingHandCursor
        onClicked: root.clicked()
    }
}
