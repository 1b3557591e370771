import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import QVImports
import FontAwesome as FontAwesome
import Elements as Elements
import Promptwell as Promptwell
import "ShellLogic.mjs" as ShellLogic

ApplicationWindow {
    id: mainWindow
    objectName: "mainWindow"
    title: "QuorvANTIS"
    visible: true
    color: "black"
    opacity: 1
    flags: Qt.Window | Qt.WindowMinMaxButtonsHint | Qt.FramelessWindowHint
    width: targetWidth
    height: targetHeight

    property int targetWidth: 0
    property int targetHeight: 0
    property bool screenChanged: false
    property bool deviceThreadFinished: false
    property bool csvExportedThreadFinished: false
    property bool tsvExportedThreadFinished: false
    property bool recoveredFromMissingConfig: false
    property int lastSelectedSession: -1

    // Where the title bar moves the window by hand (no window manager).
    property point manualMoveOffset: Qt.point(0, 0)
    property bool manualMove: false

    function padNumber(number, length, c) {
        return ShellLogic.padNumber(number, length, c)
    }

    function appIsCurrent(currentVersion, latestVersion) {
        return ShellLogic.appIsCurrent(currentVersion, latestVersion)
    }

    function showYesNoDialog(title, message, onYes, onNo) {
        const component = Qt.createComponent("qrc:/Promptwell/YesNoDialog.qml")
        const dialog = component.status === Component.Ready ? component.createObject(mainWindow) : null
        if (dialog === null) {
            console.error("Failed to create YesNoDialog")
            return
        }
        dialog.dialogTitle = title
        dialog.message = message
        dialog.yes.connect(function() {
            if (onYes)
                onYes()
            dialog.destroy()
        })
        dialog.no.connect(function() {
            if (onNo)
                onNo()
            dialog.destroy()
        })
        dialog.open()
    }

    function showProgressBarDialog(title, message, onCancel) {
        const component = Qt.createComponent("qrc:/Promptwell/ProgressBarDialog.qml")
        const dialog = component.status === Component.Ready ? component.createObject(mainWindow) : null
        if (dialog === null) {
            console.error("Failed to create ProgressBarDialog")
            return
        }
        dialog.dialogTitle = title
        dialog.message = message
        dialog.cancel.connect(function() {
            if (onCancel)
                onCancel()
            console.log("Download canceled")
            dialog.destroy()
        })
        dialog.open()
    }

    function notify(text, icon, milliseconds) {
        mainForm.notification.show(text, icon, milliseconds)
    }

    Component.onCompleted: {
        targetWidth = screenScaler.startWidth
        targetHeight = screenScaler.startHeight
        x = 0.5 * (screenScaler.screenWidth - targetWidth)
        y = 0.5 * (screenScaler.screenHeight - targetHeight)
    }

    onScreenChanged: {
        screenScaler.currentScreen = mainWindow.screen
        mainWindow.screenChanged = true
    }

    Elements.ScreenScaler {
        id: screenScaler
        currentScreen: mainWindow.screen
    }

    QtObject {
        id: apiVars
        property string calDate: "Disabled"
        property bool appUpdateAvailable: false
        property string appLatestVersion: "Not Updated"
    }

    Promptwell.OkDialog {
        id: okDialog
        objectName: "okDialog"
    }

    Promptwell.ProgressBarDialog {
        id: progressDialog
        objectName: "progressDialog"
    }

    FontAwesome.FontAwesome {
        id: awesome
        resource: Constants.fontAwesomeSolidUri
    }

    AppForm {
        id: mainForm
        anchors.fill: parent
    }

    Connections {
        target: mainForm.appHeaderMouseArea

        function onPressed(mouse) {
            if (mouse.button !== Qt.LeftButton)
                return
            mainWindow.manualMove = !mainWindow.startSystemMove()
            if (mainWindow.manualMove) {
                const global = mainForm.appHeaderMouseArea.mapToGlobal(mouse.x, mouse.y)
                mainWindow.manualMoveOffset = Qt.point(global.x - mainWindow.x, global.y - mainWindow.y)
            }
        }

        function onPositionChanged(mouse) {
            if (!mainWindow.manualMove)
                return
            const global = mainForm.appHeaderMouseArea.mapToGlobal(mouse.x, mouse.y)
            mainWindow.x = global.x - mainWindow.manualMoveOffset.x
            mainWindow.y = global.y - mainWindow.manualMoveOffset.y
        }

        function onReleased(mouse) {
            mainWindow.manualMove = false
            if (!mainWindow.screenChanged)
                return
            targetWidth = screenScaler.startWidth
            targetHeight = screenScaler.startHeight
            mainWindow.screenChanged = false
        }

        function onDoubleClicked(mouse) {
            if (mainWindow.visibility === Window.Maximized)
                mainWindow.showNormal()
            else
                mainWindow.showMaximized()
        }
    }

    Connections {
        target: mainForm.globeIcon
        function onClicked() {
            Qt.openUrlExternally(Constants.quorvantisWebsite)
        }
    }

    Connections {
        target: mainForm.appVersionMouseArea
        function onClicked() {
            if (mainForm.viewStack.currentItem && mainForm.viewStack.currentItem.pageName === "AppInfo")
                mainForm.viewStack.pop()
            else
                mainForm.viewStack.push("qrc:/content/AppInfo.qml")
        }
    }
}
