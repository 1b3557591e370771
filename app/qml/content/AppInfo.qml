import QtCore
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import FontAwesome as FontAwesome
import Elements as Elements
import Promptwell as Promptwell
import QVImports
import "PageLogic.mjs" as PageLogic

Item {
    id: item
    objectName: "appInfoPage"
    clip: true

    property string pageName: "AppInfo"

    function saveFailed() {
        notification.show("Error saving file", awesome.icons.fa_warning, 3000)
    }

    // The file to download into, as a path or a file URL.
    function startDownload(file) {
        const path = Promptwell.FileChoice.localPath(file)
        if (path === "") {
            item.saveFailed()
            return
        }
        qvApi.setDownloadPath(path)
        // One progress connection per download, even after failed ones.
        qvApi.disconnectDownloadProgress()
        qvApi.getLatestAppInstaller()
        progressDialog.dialogTitle = "Downloading..."
        progressDialog.message = ""
        progressDialog.progressValue = 0
        progressDialog.open()
    }

    Promptwell.SaveFileDialog {
        id: saveDialog
        objectName: "saveDialog"
        title: "Save As"
        folder: StandardPaths.writableLocation(StandardPaths.DownloadLocation)
        proposedName: "QuorvANTIS_installer"
        nameFilters: PageLogic.installerNameFilters()
        defaultSuffix: "exe"
        onChosen: function(path) {
            item.startDownload(path)
        }
        onFailed: item.saveFailed()
    }

    Column {
        id: columnCenter
        anchors.centerIn: parent
        spacing: 10 * screenScaler.heightScaler

        FontAwesome.FontAwesomeIcon {
            id: textIcon
            anchors.horizontalCenter: parent.horizontalCenter
            icon: awesome.icons.fa_heartbeat
            fontPointSize: 50 * screenScaler.fontScaler
            color: "white"
        }

        Text {
            id: textTitle
            objectName: "textTitle"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("App Info")
            font.pointSize: 30 * screenScaler.fontScaler
            color: "white"
            horizontalAlignment: Text.AlignHCenter
        }

        Row {
            anchors.horizontalCenter: parent.horizontalCenter

            GridLayout {
                columns: 3
                columnSpacing: 10 * screenScaler.heightScaler
                rowSpacing: 10 * screenScaler.widthScaler

                Text {
                    text: "Current Version:"
                    font.pointSize: 14 * screenScaler.fontScaler
                    color: "white"
                }
                Text {
                    objectName: "currentVersionText"
                    text: version
                    font.pointSize: 14 * screenScaler.fontScaler
                    color: "white"
                }
                Elements.LabelButton {
                    objectName: "updateButton"
                    visible: apiVars.appUpdateAvailable
                    text: qsTr("Update")
                    postIcon: awesome.icons.fa_download
                    iconPointSize: 16 * screenScaler.fontScaler
                    fontPointSize: 12 * screenScaler.fontScaler
                    onClicked: {
                        if (!qvApi.apiIsAllowed) {
                            progressDialog.close()
                            okDialog.dialogTitle = "Unable to download update"
                            okDialog.message = "Please enable automatic checks to download the latest update."
                            okDialog.open()
                            return
                        }
                        saveDialog.open()
                    }
                }
                Text {
                    objectName: "latestVersionLabel"
                    visible: apiVars.appUpdateAvailable
                    text: "Latest Version:"
                    font.pointSize: 14 * screenScaler.fontScaler
                    color: "white"
                }
                Text {
                    objectName: "latestVersionText"
                    visible: apiVars.appUpdateAvailable
                    text: apiVars.appLatestVersion
                    textFormat: Text.PlainText
                    font.pointSize: 14 * screenScaler.fontScaler
                    color: "white"
                }
                Text {
                }
                Text {
                    text: "Enable automatic checks"
                    font.pointSize: 14 * screenScaler.fontScaler
                    color: "white"
                }
                Elements.SwitchFromScratch {
                    id: userExpSwitch
                    objectName: "userExpSwitch"
                    text: ""
                    font.pointSize: 14 * screenScaler.fontScaler
                    Layout.alignment: Qt.AlignLeft
                    // The consent in force, also when an answer given elsewhere
                    // (the question after a failed write) changes it; a click
                    // flips the switch before its handler runs.
                    Binding on checked {
                        value: webChecksAllowed
                    }
                    onClicked: {
                        const allowed = checked
                        settrove.setValue("optInForAutoCalCheck", allowed)
                        allowWebChecks(allowed)
                        if (allowed) {
                            qvApi.getLatestAppVersion()
                            if (device.connected)
                                qvApi.getCalibrationDate(device.deviceID.barcode)
                        } else {
                            apiVars.calDate = "Disabled"
                        }
                    }
                }
                FontAwesome.FontAwesomeIcon {
                    objectName: "consentHelp"
                    icon: awesome.icons.fa_question
                    fontPointSize: 20 * screenScaler.fontScaler
                    color: Constants.qvOrangeColour
                    Layout.alignment: Qt.AlignHCenter

                    MouseArea {
                        id: mouseArea
                        anchors.fill: parent
                        hoverEnabled: true

                        ToolTip {
                            objectName: "consentToolTip"
                            visible: mouseArea.containsMouse
                            x: mouseArea.mouseX + 20
                            y: mouseArea.mouseY + 10
                            font.pointSize: 12 * screenScaler.fontScaler
                            text: "Would you like the app to automatically check:\n1. If software updates are available.\n2. The calibration expiry date of a connected unit.\n\nSee application terms and conditions for details."
                        }
                    }
                }
            }
        }
    }

    Column {
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 50 * screenScaler.heightScaler
        spacing: 10 * screenScaler.heightScaler

        Elements.LabelButton {
            objectName: "termsButton"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Terms & Conditions")
            fontPointSize: 12 * screenScaler.fontScaler
            onClicked: Qt.openUrlExternally(PageLogic.termsDocumentUrl(applicationPath))
        }

        Elements.LabelButton {
            objectName: "backButton"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Back")
            preIcon: awesome.icons.fa_arrow_left
            iconPointSize: 14 * screenScaler.fontScaler
            fontPointSize: 12 * screenScaler.fontScaler
            onClicked: item.StackView.view.pop()
        }
    }
}
