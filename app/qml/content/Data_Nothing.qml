import QtQuick
import Quorvantis as QuorvAntis
import QuorvantisExport as QuorvAntisExport
import Elements as Elements
import FontAwesome as FontAwesome

Item {
    id: root
    objectName: "dataNothing"
    anchors.fill: parent

    property string pageName: "DataNothing"

    Row {
        id: rowRightTop
        height: 40
        spacing: 5
        anchors.top: parent.top
        anchors.right: parent.right
        anchors.topMargin: 15
        anchors.rightMargin: 15
    }

    Item {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.top: rowRightTop.bottom
        anchors.margins: 15

        Column {
            anchors.centerIn: parent
            spacing: 20

            FontAwesome.FontAwesomeIcon {
                id: textIcon
                objectName: "nothingIcon"
                anchors.horizontalCenter: parent.horizontalCenter
                icon: deviceStatus.memoryDisabled ? awesome.icons.fa_warning : awesome.icons.fa_hand_pointer_o
                fontPointSize: 52 * screenScaler.fontScaler
                color: "white"
            }

            Text {
                id: textTitle
                objectName: "nothingTitle"
                anchors.horizontalCenter: parent.horizontalCenter
                horizontalAlignment: Text.AlignHCenter
                text: deviceStatus.memoryDisabled ? qsTr("Error: Data logging disabled") : qsTr("Select a session")
                font.pointSize: (deviceStatus.memoryDisabled ? 20 : 30) * screenScaler.fontScaler
                color: "white"
            }

            Text {
                objectName: "nothingNote"
                anchors.horizontalCenter: parent.horizontalCenter
                horizontalAlignment: Text.AlignHCenter
                visible: deviceStatus.memoryDisabled
                text: "Device still monitors RF exposure with memory logging disabled"
                font.pointSize: 14 * screenScaler.fontScaler
                color: "white"
            }
        }
    }
}
