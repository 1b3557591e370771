import QtQuick
import QtQuick.Controls
import QVImports

Item {
    id: item
    objectName: "notConnectedPage"
    clip: true

    property string pageName: "NotConnected"

    Rectangle {
        anchors.fill: parent
        color: Constants.backgroundColour
    }

    Column {
        id: columnCenter
        anchors.centerIn: parent
        spacing: 10

        Image {
            objectName: "usbPicture"
            anchors.horizontalCenter: parent.horizontalCenter
            source: "qrc:/assets/usb.png"
            rotation: 45
        }

        Text {
            id: textTitle
            objectName: "textTitle"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Not Connected")
            font.pointSize: 30 * screenScaler.fontScaler
            color: "white"
            horizontalAlignment: Text.AlignHCenter
        }

        Text {
            id: textDescription
            objectName: "textDescription"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Please connect a quorvANTIS device to your computer.")
            font.pointSize: 14 * screenScaler.fontScaler
            color: "white"
            horizontalAlignment: Text.AlignHCenter
        }
    }
}
