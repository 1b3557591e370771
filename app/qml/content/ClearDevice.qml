import QtQuick
import QtQuick.Controls
import QVImports
import FontAwesome as FontAwesome
import Elements as Elements

Item {
    id: item
    objectName: "clearDevicePage"
    clip: true

    property string pageName: "ClearDevice"

    Rectangle {
        anchors.fill: parent
        color: Constants.backgroundColour
    }

    Column {
        id: columnCenter
        anchors.centerIn: parent
        spacing: 10

        FontAwesome.FontAwesomeIcon {
            id: textIcon
            anchors.horizontalCenter: parent.horizontalCenter
            icon: awesome.icons.fa_warning
            fontPointSize: 50 * screenScaler.fontScaler
            color: Constants.qvOrangeColour
        }

        Text {
            id: textTitle
            objectName: "textTitle"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Erase Device")
            font.pixelSize: 30 * screenScaler.fontScaler
            color: "white"
            horizontalAlignment: Text.AlignHCenter
        }

        Text {
            id: textWarning
            objectName: "textWarning"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Erasing your device will remove any recorded field data and voice notes.\nThis action cannot be undone and all data will be permanently lost.")
            font.pixelSize: 14 * screenScaler.fontScaler
            color: "white"
            horizontalAlignment: Text.AlignHCenter
        }

        Text {
            id: textInstructionsTitle
            objectName: "textInstructionsTitle"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Instructions")
            font.pixelSize: 20 * screenScaler.fontScaler
            color: "white"
            horizontalAlignment: Text.AlignHCenter
        }

        Text {
            id: textInstructions
            objectName: "textInstructions"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("1. Click the Erase Device button and wait for the 'Not Connected' message.\n2. Disconnect the device from your computer and wait for the status lights to come on.\n3. Press the power button, you will hear a beep and the device lights will turn off.\n4. Connect the device to your computer again to confirm that the data has been removed.")
            font.pixelSize: 14 * screenScaler.fontScaler
            color: "white"
            horizontalAlignment: Text.AlignJustify
        }

        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 40 * screenScaler.heightScaler

            Elements.LabelButton {
                objectName: "eraseButton"
                text: qsTr("Erase Device")
                fontPointSize: 12 * screenScaler.fontScaler
                onClicked: {
                    device.send(eraseDevice)
                    item.StackView.view.pop()
                }
            }

            Elements.LabelButton {
                objectName: "cancelButton"
                text: qsTr("Cancel")
                fontPointSize: 12 * screenScaler.fontScaler
                onClicked: item.StackView.view.pop()
            }
        }
    }
}
