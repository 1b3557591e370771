import QtQuick
import QtQuick.Controls
import QVImports
import Elements as Elements

// Sized by its parent: the view stack gives it the body's area.
Item {
    id: item
    objectName: "testPage"
    clip: true
    width: parent ? parent.width : 0
    height: parent ? parent.height : 0

    property string pageName: "Test"

    Rectangle {
        anchors.fill: parent
        color: "#111"

        Column {
            anchors.centerIn: parent
            spacing: 0

            Elements.SwitchFromScratch {
                id: combinedSwitch
                objectName: "combinedSwitch"
                anchors.left: parent.left
                text: "A B C"
                checked: true
            }

            Elements.OutsideTextSwitch {
                id: eFieldSwitch
                objectName: "eFieldSwitch"
                anchors.left: parent.left
                text: "A B C"
            }
        }
    }
}
