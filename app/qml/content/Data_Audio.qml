import QtQuick
import Elements as Elements
import QVImports

Item {
    id: root
    objectName: "dataAudio"
    anchors.fill: parent

    property string pageName: "DataAudio"

    Row {
        id: rowLeft
        height: 40
        spacing: 20
        anchors.left: parent.left
        anchors.top: parent.top
        anchors.margins: 15

        Elements.StatusEntry {
            objectName: "playingMark"
            anchors.verticalCenter: parent.verticalCenter
            text: "Playing"
            statusColor: "#f6861f"
            visible: player.isPlaying
        }
    }

    Item {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.top: rowLeft.bottom
        anchors.margins: 15

        Column {
            objectName: "audioLoadingBlock"
            anchors.centerIn: parent
            spacing: 30
            visible: presenter.audioDataEntry === null || !presenter.audioDataEntry.loaded

            Item {
                width: 50
                height: 50
                anchors.horizontalCenter: parent.horizontalCenter

                Elements.Spinner {
                    id: spinnerLoading
                    anchors.horizontalCenter: parent.horizontalCenter
                    icon: awesome.icons.fa_refresh
                    fontPointSize: 50 * screenScaler.fontScaler
                    color: "#ffffff"
                    active: true
                    visible: true
                }
            }

            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                horizontalAlignment: Text.AlignHCenter
                text: qsTr("Loading Audio")
                font.pointSize: 30 * screenScaler.fontScaler
                color: "white"
            }

            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                horizontalAlignment: Text.AlignHCenter
                text: qsTr("This may take some time, please be patient.")
                font.pointSize: 14 * screenScaler.fontScaler
                color: "white"
            }
        }

        Column {
            objectName: "audioPlayBlock"
            anchors.centerIn: parent
            spacing: 20
            visible: !!(player.isAvailable && presenter.audioDataEntry !== null
                        && presenter.audioDataEntry.loaded && !player.isPlaying)
            onVisibleChanged: console.log("Data_Audio.qml -> Play block visibility: " + visible)

            Elements.IconButton {
                objectName: "playButton"
                anchors.horizontalCenter: parent.horizontalCenter
                icon: awesome.icons.fa_play
                fontSize: 50 * screenScaler.fontScaler
                color: "transparent"
                iconHoverColour: Constants.qvOrangeColour
                onClicked: player.play(presenter.audioDataEntry.rawData)
            }

            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                horizontalAlignment: Text.AlignHCenter
                text: qsTr("Play Audio")
                font.pointSize: 30 * screenScaler.fontScaler
                color: "#ffffff"
            }

            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                horizontalAlignment: Text.AlignHCenter
                text: qsTr("Click the play button to start listening")
                font.pointSize: 14 * screenScaler.fontScaler
                color: "#ffffff"
            }
        }

        Column {
            objectName: "audioStopBlock"
            anchors.centerIn: parent
            spacing: 20
            visible: !!(player.isAvailable && presenter.audioDataEntry !== null
                        && presenter.audioDataEntry.loaded && player.isPlaying)
            onVisibleChanged: console.log("Data_Audio.qml -> Stop block visibility: " + visible)

            Elements.IconButton {
                objectName: "stopButton"
                anchors.horizontalCenter: parent.horizontalCenter
                icon: awesome.icons.fa_stop
                fontSize: 50 * screenScaler.fontScaler
                color: "transparent"
                iconHoverColour: Constants.qvOrangeColour
                onClicked: player.pause()
            }

            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                horizontalAlignment: Text.AlignHCenter
                text: qsTr("Playing Audio")
                font.pointSize: 30 * screenScaler.fontScaler
                color: "#ffffff"
            }

            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                horizontalAlignment: Text.AlignHCenter
                text: qsTr("Click the stop button to stop listening")
                font.pointSize: 14 * screenScaler.fontScaler
                color: "#ffffff"
            }
        }
    }
}
