import QtQuick
import QVImports
import FontAwesome

// Delegate of a ListGroup: reads the delegate's index and modelData and writes
// the selection state kept on its ListView.
Item {
    id: root

    property var context: null
    property string text: ""
    property alias icon: iconText.text
    property bool loading: true
    property int fontPointSize: 10
    readonly property alias pressed: mouseArea.pressed

    signal selected(int index, var item)

    function handleClick() {
        const view = root.ListView.view
        view.selectionActive = true
        view.clickedSelection = index
        view.clickedItem = modelData
        view.currentIndex = index
        root.selected(index, modelData)
    }

    width: 400
    height: 2 * label.implicitHeight

    FontAwesome {
        id: awesome
        resource: Constants.fontAwesomeSolidUri
    }

    MouseArea {
        id: mouseArea
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: root.handleClick()

        Rectangle {
            id: background

            readonly property bool current: root.ListView.isCurrentItem
            readonly property color contentColour: mouseArea.containsMouse || current ? "#000" : "#f6861f"

            anchors.fill: parent
            color: current ? "#f6861f" : mouseArea.containsMouse ? "#FFB060" : "#444"

            Row {
                anchors.centerIn: parent
                spacing: 10 * screenScaler.widthScaler

                Text {
                    id: iconText
                    anchors.verticalCenter: parent.verticalCenter
                    width: 20 * screenScaler.widthScaler
                    visible: !root.loading
                    font.family: awesome.family
                    font.pointSize: root.fontPointSize
                    color: background.contentColour
                }
                Spinner {
                    id: spinner
                    anchors.verticalCenter: parent.verticalCenter
                    width: 20 * screenScaler.widthScaler
                    visible: root.loading
                    icon: awesome.icons.fa_refresh
                    fontPointSize: root.fontPointSize
                    active: root.loading
                    duration: 3000
                    color: background.contentColour
                }
                Text {
                    id: label
                    anchors.verticalCenter: parent.verticalCenter
                    text: index === 0 ? "Current" : root.text
                    font.pointSize: root.fontPointSize
                    color: background.contentColour
                }
            }
        }
    }
}
