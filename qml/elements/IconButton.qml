import QtQuick
import QtQuick.Controls
import FontAwesome

Rectangle {
    id: root

    property alias rectangleColour: root.color
    property alias icon: iconItem.icon
    property alias fontSize: iconItem.fontPointSize
    property string toolTipText: "This is a tooltip"
    property int toolTipPointSize: 12
    // Own flag: the mouse area must stay active so the tooltip still shows.
    property bool enabled: true
    property bool enableToolTip: false
    property color iconDefaultColour: "white"
    property color iconHoverColour: "red"

    signal clicked

    radius: 4
    clip: true
    color: "transparent"
    width: iconItem.width + 4
    height: iconItem.height + 4

    FontAwesomeIcon {
        id: iconItem
        anchors.centerIn: parent
        color: !root.enabled ? "#888" : mouseArea.containsMouse ? root.iconHoverColour : root.iconDefaultColour
    }

    MouseArea {
        id: mouseArea
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: root.enabled ? Qt.PointingHandCursor : Qt.ArrowCursor
        onClicked: {
            if (root.enabled)
                root.clicked()
        }
    }

    ToolTip {
        id: toolTip
        parent: root
        visible: root.enableToolTip && mouseArea.containsMouse
        text: root.toolTipText
        font.pointSize: root.toolTipPointSize
        delay: 500
        timeout: 3000
    }
}
