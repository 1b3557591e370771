import QtQuick
import FontAwesome as FontAwesome
import Elements as Elements
import QVImports

Item {
    id: item
    objectName: "loadingHeadersPage"
    clip: true

    property string pageName: "LoadingHeaders"

    Rectangle {
        anchors.fill: parent
        color: "#111"
    }

    Column {
        id: columnCenter
        anchors.centerIn: parent
        spacing: 10

        Item {
            id: spinnerBox
            anchors.horizontalCenter: parent.horizontalCenter
            width: spinnerLoading.width
            height: spinnerLoading.height

            Elements.Spinner {
                id: spinnerLoading
                objectName: "spinnerLoading"
                anchors.horizontalCenter: parent.horizontalCenter
                fontPointSize: 50 * screenScaler.fontScaler
                color: "white"
                icon: awesome.icons.fa_refresh
                active: true
                visible: true
            }
        }

        Text {
            id: textTitle
            objectName: "textTitle"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Loading Index")
            font.pointSize: 30 * screenScaler.fontScaler
            color: "white"
            horizontalAlignment: Text.AlignHCenter
        }

        Text {
            id: textDescription
            objectName: "textDescription"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("This may take some time, please be patient")
            font.pointSize: 14 * screenScaler.fontScaler
            color: "#ffffff"
            horizontalAlignment: Text.AlignHCenter
        }
    }
}
