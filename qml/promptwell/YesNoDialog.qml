import QtQuick
import QtQuick.Controls
import QVImports

Dialog {
    id: root

    property string dialogTitle: "TestTitle"
    property string message: "TestMessage"
    property int fontPointSize: 12

    signal yes()
    signal no()

    // A footer button: an orange word on a strip that greys under the mouse.
    component DialogButton: Button {
        id: control
        property string label: ""
        property int pointSize: 12
        implicitHeight: 2 * labelText.implicitHeight
        width: 2 * labelText.implicitWidth
        contentItem: Item {
            Text {
                id: labelText
                anchors.centerIn: parent
                text: control.label
                color: Constants.qvOrangeColour
                font.pointSize: control.pointSize
                font.bold: true
            }
        }
        background: Rectangle {
            radius: 4
            color: hover.containsMouse ? "#666" : "transparent"
            MouseArea {
                id: hover
                anchors.fill: parent
                hoverEnabled: true
                acceptedButtons: Qt.NoButton
            }
        }
    }

    title: dialogTitle
    modal: true
    closePolicy: Popup.NoAutoClose
    // The implicit size: the popup may shrink the size to fit the window.
    x: (parent ? parent.width : Screen.width) / 2 - implicitWidth / 2
    y: (parent ? parent.height : Screen.height) / 2 - implicitHeight / 2

    header: Rectangle {
        implicitHeight: 2 * titleLabel.implicitHeight
        width: root.width
        color: Constants.headerColour
        border.color: "#444"
        border.width: 1
        radius: root.mirrored ? 1 : 0

        Label {
            id: titleLabel
            objectName: "titleLabel"
            anchors.centerIn: parent
            text: root.dialogTitle
            textFormat: Text.PlainText
            font.pointSize: root.fontPointSize
            font.bold: true
            color: "white"
        }
    }

    background: Rectangle {
        color: Constants.backgroundColour
        radius: 12
        border.color: "#555"
        border.width: 1
    }

    contentItem: Column {
        padding: 10

        Label {
            objectName: "messageLabel"
            text: root.message
            textFormat: Text.PlainText
            color: "white"
            font.pointSize: root.fontPointSize
        }
    }

    footer: Item {
        implicitHeight: 1.1 * answers.implicitHeight
        width: root.width

        Rectangle {
            anchors.fill: parent
            color: Constants.headerColour
        }

        Row {
            id: answers
            anchors.top: parent.top
            anchors.left: parent.left

            DialogButton {
                objectName: "yesButton"
                label: "Yes"
                pointSize: root.fontPointSize
                onClicked: root.yes()
            }

            DialogButton {
                objectName: "noButton"
                label: "No"
                pointSize: root.fontPointSize
                onClicked: root.no()
            }
        }
    }
}
