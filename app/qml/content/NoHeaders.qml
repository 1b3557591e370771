import QtQuick
import QtQuick.Controls
import FontAwesome as FontAwesome
import Elements as Elements

Item {
    id: item
    objectName: "noHeadersPage"
    clip: true

    property string pageName: "NoHeaders"
    // Set by the shell's push; they are the shell's own objects.
    property var device: null
    property var notification: null
    property var resetDevice: null

    function getViewStack() {
        return item.StackView.view
    }

    Rectangle {
        anchors.fill: parent
        color: "#111"
    }

    Column {
        id: columnCenter
        anchors.centerIn: parent
        spacing: 10

        Text {
            id: textIcon
            anchors.horizontalCenter: parent.horizontalCenter
            text: awesome.icons.fa_warning
            font.family: "FontAwesome"
            font.pixelSize: 50
            color: "#f6861f"
            horizontalAlignment: Text.AlignHCenter
        }

        Text {
            id: textTitle
            objectName: "textTitle"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Device Malfunctioning")
            font.pixelSize: 30
            color: "#ffffff"
            horizontalAlignment: Text.AlignHCenter
        }

        Text {
            id: textWarning
            objectName: "textWarning"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Your device did not respond in an expected manner which generally indicates that it is malfunctioning.")
            font.pixelSize: 14
            color: "#ffffff"
            horizontalAlignment: Text.AlignHCenter
        }

        Text {
            id: textInstructionsTitle
            objectName: "textInstructionsTitle"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Troubleshooting")
            font.pixelSize: 20
            color: "white"
            horizontalAlignment: Text.AlignHCenter
        }

        Text {
            id: textInstructions
            objectName: "textInstructions"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("1. Attempt to restart the device to determine whether that solves the problem.\n2. Connect the device to a different computer, or different USB port on your computer.\n3. Replace the device's batteries if any of the above methods solve the problem.\n4. Contact us for assistance if none of the above methods solve the problem.")
            font.pixelSize: 14
            color: "#ffffff"
            horizontalAlignment: Text.AlignJustify
        }

        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 40

            Elements.LabelButton {
                objectName: "restartButton"
                text: qsTr("Restart Device")
                onClicked: {
                    if (item.device && item.resetDevice)
                        item.device.send(item.resetDevice)
                    else
                        console.error("NoHeaders.qml -> pushed without the device or its reset packet")
                    item.getViewStack().pop()
                }
            }
        }
    }
}
