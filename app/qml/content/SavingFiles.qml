import QtQuick
import QtQuick.Layouts
import FontAwesome as FontAwesome
import Elements as Elements
import QVImports

Item {
    id: item
    objectName: "savingFilesPage"
    clip: true

    property string pageName: "SavingFiles"

    Rectangle {
        anchors.fill: parent
        color: "#111"
    }

    ColumnLayout {
        id: columnCenter
        anchors.centerIn: parent
        spacing: 10

        Item {
            Layout.alignment: Qt.AlignHCenter
            height: spinnerLoading.height
            width: height
            implicitHeight: spinnerLoading.height
            implicitWidth: spinnerLoading.height

            Elements.Spinner {
                id: spinnerLoading
                anchors.horizontalCenter: parent.horizontalCenter
                icon: awesome.icons.fa_refresh
                fontPointSize: 60 * screenScaler.fontScaler
                color: "white"
                active: true
                visible: true
            }
        }

        Text {
            id: textTitle
            Layout.alignment: Qt.AlignHCenter
            text: qsTr("Saving Files")
            font.pointSize: 30 * screenScaler.fontScaler
            color: "white"
            horizontalAlignment: Text.AlignHCenter
        }

        Text {
            id: textDescription
            Layout.alignment: Qt.AlignHCenter
            text: qsTr("All entries are being exported - this may take a while.\n Please be patient.")
            font.pointSize: 14 * screenScaler.fontScaler
            color: "white"
            horizontalAlignment: Text.AlignHCenter
        }
    }
}
