import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import QVImports
import FontAwesome as FontAwesome
import Quorvantis as Quorvantis
import QuorvantisHID as QVDevice
import Frelkit as Frelkit
import Elements as Elements
import QuorvantisExport as QuorvantisExport
import Promptwell as Promptwell
import Settrove
import QuorvantisApi
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
    // The first header walk of the present connection has not ended yet.
    property bool firstWalkPending: false
    // From an unplug to the next connection a calibration answer can only be
    // for the instrument that went; the next connection's lookup replaces it.
    property bool calibrationInstrumentGone: false

    // The consent in force: what the facade's switch holds, which it does
    // not announce. The information page's switch shows it.
    property bool webChecksAllowed: false

    // A press on the title bar moves the window once the pointer has moved
    // past the drag distance: a click, a double-click or a tap moves nothing.
    property point moveStart: Qt.point(0, 0)
    property bool moveArmed: false
    // Where the title bar moves the window by hand (no window manager).
    property point manualMoveOffset: Qt.point(0, 0)
    property bool manualMove: false
    // The window layer that the start-up hooks onto this window.
    property QtObject windowLayer: null
    // The screen whose size the window took last, as screenKey() names it.
    property string sizedScreen: ""

    readonly property string consentAfterErrorText: "Would you like the app to automatically check:\n1. If software updates are available.\n2. The calibration expiry date of a connected unit.\n\nSee application terms and conditions for details."
    readonly property string consentFirstRunText: "Would you like the app to automatically check:\n1. If software updates are available.\n2. The calibration expiry date of a connected unit.\nSee application terms and conditions for details."

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

    // The end of a bulk export takes its saving page away. A page the user
    // opened over it (the footer's App Info) stays on top: the stack cannot
    // drop a page from its middle, so those above are opened again at once.
    function closeSavingPage() {
        const stack = mainForm.viewStack
        const saving = stack.find(function(page) { return page.pageName === "SavingFiles" })
        if (!saving)
            return
        if (stack.currentItem === saving) {
            stack.pop()
            return
        }
        const above = []
        for (let i = saving.StackView.index + 1; i < stack.depth; ++i)
            above.push(stack.get(i).pageName)
        stack.pop(stack.get(saving.StackView.index - 1), StackView.Immediate)
        for (const name of above)
            stack.push("qrc:/content/" + name + ".qml", {}, StackView.Immediate)
    }

    // A notice given while another is on display replaces it once that one
    // has been seen for a moment, so that outcomes coming together (a save's
    // own report and the saves the instrument's loss dropped) are each seen,
    // and a long notice holds up none. The same text again goes on showing.
    readonly property int noticeGlimpseMs: 1500
    property double noticeShownAt: 0
    property var waitingNotices: []

    function notify(text, icon, milliseconds) {
        const banner = mainForm.notification
        const last = waitingNotices.length > 0 ? waitingNotices[waitingNotices.length - 1].text
                                               : banner.isShowing ? banner.text : ""
        if (text === last && banner.isShowing)
            return
        waitingNotices.push({ "text": text, "icon": icon, "milliseconds": milliseconds })
        showWaitingNotice()
    }

    function showWaitingNotice() {
        const banner = mainForm.notification
        if (waitingNotices.length === 0)
            return
        if (banner.isShowing) {
            const left = noticeShownAt + noticeGlimpseMs - Date.now()
            if (left > 0) {
                noticeTurn.interval = left
                noticeTurn.restart()
            } else {
                // Its end shows the next one, for the whole of its own time.
                banner.hide()
            }
            return
        }
        const next = waitingNotices.shift()
        banner.show(next.text, next.icon, next.milliseconds)
    }

    Timer {
        id: noticeTurn
        onTriggered: mainWindow.showWaitingNotice()
    }

    function allowWebChecks(allowed) {
        qvApi.apiIsAllowed = allowed
        webChecksAllowed = allowed
    }

    function allowWebChecksFromConsent() {
        allowWebChecks(settrove.getValue("optInForAutoCalCheck") === true)
    }

    function askForConsent(message) {
        showYesNoDialog("", message, function() {
            settrove.setValue("optInForAutoCalCheck", true)
            settrove.setValue("firstTimeRun", false)
            allowWebChecksFromConsent()
            qvApi.getLatestAppVersion()
            if (device.connected)
                qvApi.getCalibrationDate(device.deviceID.barcode)
        }, function() {
            settrove.setValue("optInForAutoCalCheck", false)
            settrove.setValue("firstTimeRun", false)
            // Asked after a failed write the checks may be on already.
            allowWebChecks(false)
            apiVars.calDate = "Disabled"
        })
    }

    function reportDownloadFailed(err) {
        qvApi.disconnectDownloadProgress()
        progressDialog.close()
        okDialog.dialogTitle = "Installer download failed"
        // The download itself was fine: only another folder, or room, helps.
        const writeFailure = "Failed to write to: "
        if (err && err.startsWith(writeFailure))
            okDialog.message = "The installer could not be saved to "
                    + err.substring(writeFailure.length) + "."
        else
            okDialog.message = "The download was interrupted or corrupted. Please try again."
        okDialog.open()
    }

    Component.onCompleted: {
        settrove.load()
        device.start()
        targetWidth = screenScaler.startWidth
        targetHeight = screenScaler.startHeight
        x = 0.5 * (screenScaler.screenWidth - targetWidth)
        y = 0.5 * (screenScaler.screenHeight - targetHeight)
        sizedScreen = screenKey()
    }

    onScreenChanged: {
        screenScaler.currentScreen = mainWindow.screen
        mainWindow.screenChanged = true
        // A system's move can end before the window learns where it went.
        // Later, so that the window layer has taken the new screen's minimum.
        // Only then: a change the window's own new size makes starts nothing.
        if (moveSettling.running && !mainForm.appHeaderMouseArea.pressed
                && !(windowLayer && windowLayer.dragging))
            Qt.callLater(takeScreenSize)
    }

    // Each reading of the window's screen is a new object: names and places compare.
    function screenKey() {
        const screen = mainWindow.screen
        return screen ? screen.name + "@" + screen.virtualX + "," + screen.virtualY : ""
    }

    // The end of a move by the title bar; takes the screen's size once.
    function endMove() {
        moveSettling.restart()
        takeScreenSize()
    }

    // The size for the screen the window has moved to, once nothing holds it.
    function takeScreenSize() {
        if (!mainWindow.screenChanged)
            return
        mainWindow.screenChanged = false
        moveSettling.stop()
        // Dropped back where its size was taken: it keeps the size it has.
        if (screenKey() === sizedScreen)
            return
        sizedScreen = screenKey()
        // Kept on that screen: its centre there is what keeps it there.
        if (windowLayer)
            windowLayer.placeOnScreen(Qt.size(screenScaler.startWidth, screenScaler.startHeight))
        targetWidth = screenScaler.startWidth
        targetHeight = screenScaler.startHeight
    }

    // How long after a move the screen it ended on may still be reported.
    Timer {
        id: moveSettling
        interval: 1000
    }

    onClosing: function(close) {
        if (!deviceThreadFinished || !csvExportedThreadFinished || !tsvExportedThreadFinished) {
            device.stop()
            exportCSV.shutdown()
            exportTSV.shutdown()
            // A save waiting for its entry keeps an event loop of its own
            // running; it must end for the program to end.
            fileExport.requestCancel()
            bulkFileExport.requestCancel()
            close.accepted = false
            return
        }
        settrove.save()
        close.accepted = true
    }

    Elements.ScreenScaler {
        id: screenScaler
        currentScreen: mainWindow.screen
    }

    QtObject {
        id: apiVars
        objectName: "apiVars"
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

        // Handled here once: a handler of the page that opens the dialog would
        // die with the page, and one per download would pile up.
        onCancel: {
            qvApi.cancelDownload()
            qvApi.disconnectDownloadProgress()
            progressDialog.close()
        }
    }

    QuorvantisApi {
        id: qvApi
        objectName: "qvApi"

        onApiError: function(errMsg) {
            console.log("API Error: " + errMsg)
            if (errMsg === "Hash values did not match")
                mainWindow.reportDownloadFailed()
            else if (errMsg.indexOf("Barcode not found") !== -1 || errMsg.indexOf("HTTP 403") !== -1)
                apiVars.calDate = "Pending"
        }

        // Only the installer's own failure ends the download; a progress bar
        // left standing would hide it.
        onDownloadFailed: function(err) { mainWindow.reportDownloadFailed(err) }

        onCalibrationDateReceived: function(calDate) {
            if (mainWindow.calibrationInstrumentGone)
                return
            apiVars.calDate = ShellLogic.calibrationText(calDate, new Date(),
                                                         date => Qt.formatDate(date, "MMM yyyy"))
        }

        onAppVersionReceived: function(appVersion) {
            if (!ShellLogic.updateAnnounced(version, appVersion))
                return
            mainWindow.notify("Software update available", awesome.icons.fa_cloud_download, 5000)
            apiVars.appUpdateAvailable = true
            apiVars.appLatestVersion = appVersion
        }

        onReportFileProgress: function(received, total) {
            const percent = ShellLogic.progressPercent(received, total)
            if (percent !== null)
                progressDialog.progressValue = percent
        }

        onDownloadCompleted: {
            qvApi.disconnectDownloadProgress()
            progressDialog.close()
            okDialog.dialogTitle = "Installer download completed"
            okDialog.message = "The download has completed. Please close the application, unstinstall it, and install the latest version."
            okDialog.open()
        }
    }

    Settrove {
        id: settrove
        objectName: "settrove"

        onLoadedChanged: function(loaded) {
            if (!loaded)
                return
            if (settrove.getValue("firstTimeRun") === true && !recoveredFromMissingConfig) {
                mainWindow.askForConsent(mainWindow.consentFirstRunText)
            } else {
                mainWindow.allowWebChecksFromConsent()
                qvApi.getLatestAppVersion()
            }
        }

        // Asked once per run: the answer's own writes may fail the same way.
        onConfigError: function(errMsg) {
            if (recoveredFromMissingConfig) {
                console.warn("Configuration error: " + errMsg)
                return
            }
            recoveredFromMissingConfig = true
            mainWindow.askForConsent(mainWindow.consentAfterErrorText)
        }
    }

    Frelkit.AudiostreamPlayer {
        id: player
        objectName: "player"
    }

    Frelkit.Clipboard {
        id: clipboard
        objectName: "clipboard"

        onError: function(err) {
            mainWindow.notify("Error copying to clipboard: " + err, "", 5000)
        }
        onImageCopied: mainWindow.notify("Image copied to clipboard", awesome.icons.fa_clipboard, 5000)
    }

    QVDevice.HIDDevice {
        id: device
        objectName: "device"

        onHandshakeStarted: console.debug("Starting handshake")

        onConnected: {
            console.info("Device connected (Handshake complete)")
            firstWalkPending = true
            calibrationInstrumentGone = false
            mainForm.notification2.showInfinite("Loading headers", "")
            mainForm.viewStack.push("qrc:/content/Data.qml")
            qvApi.getCalibrationDate(device.deviceID.barcode)
        }

        onHasAllHeadersChanged: function(isRefresh) {
            console.debug("Headers list updated" + (isRefresh ? "(Refresh)" : ""))
            if (isRefresh)
                return
            firstWalkPending = false
            // An erased instrument legitimately holds no entry, so an empty
            // list is no sign of a fault.
            mainForm.notification2.hide()
        }

        onHeaderWalkFailed: {
            if (!firstWalkPending || !device.connected)
                return
            firstWalkPending = false
            console.warn("Header walk failed")
            // The notice would otherwise announce a load that has ended.
            mainForm.notification2.hide()
            mainForm.viewStack.push("qrc:/content/NoHeaders.qml", {
                                        "device": device,
                                        "notification": mainForm.notification,
                                        "resetDevice": resetDevice
                                    })
        }

        onDisconnected: {
            console.info("Device disconnected")
            lastSelectedSession = -1
            firstWalkPending = false
            calibrationInstrumentGone = true
            // A save waiting for its entry would wait for good otherwise;
            // each save clears the request when it starts.
            fileExport.requestCancel()
            if (bulkFileExport.isBusy) {
                console.log("Requesting cancel")
                bulkFileExport.requestCancel()
            } else {
                mainForm.viewStack.pop(null)
            }
        }

        onFinished: {
            deviceThreadFinished = true
            mainWindow.close()
        }
    }

    Quorvantis.Erase {
        id: eraseDevice
        objectName: "eraseDevice"
        onSent: {
            console.info("Erasing device")
            mainWindow.notify("Erasing Device Memory...", awesome.icons.fa_trash_o, 15000)
        }
    }

    FontAwesome.FontAwesome {
        id: awesome
        resource: Constants.fontAwesomeSolidUri
    }

    QuorvantisExport.BulkFileExporter {
        id: bulkFileExport
        objectName: "bulkFileExport"
        onDataSaved: {
            mainWindow.closeSavingPage()
            mainWindow.notify("Saved to folder", awesome.icons.fa_floppy_o, 3000)
        }
        onError: {
            mainWindow.closeSavingPage()
            mainWindow.notify("Failed to save to folder", awesome.icons.fa_warning, 3000)
        }
        onNoData: {
            mainWindow.closeSavingPage()
            mainWindow.notify("No data found", awesome.icons.fa_warning, 3000)
        }
        onCancelled: {
            console.log("Bulk export cancelled")
            if (!device.connected) {
                console.log("Device disconnected, popping stackview")
                mainForm.viewStack.pop(null)
            }
        }
    }

    QuorvantisExport.FileExporter {
        id: fileExport
        objectName: "fileExport"
        onDataSaved: mainWindow.notify("File saved", awesome.icons.fa_floppy_o, 3000)
        onError: mainWindow.notify("Error saving file", awesome.icons.fa_warning, 3000)
    }

    QuorvantisExport.TabSeparatedExporter {
        id: exportTSV
        objectName: "exportTSV"
        onDataReady: function(name, data) {
            clipboard.setText(data)
            mainWindow.notify("Copied to clipboard", awesome.icons.fa_clipboard, 3000)
        }
        onFinished: {
            tsvExportedThreadFinished = true
            mainWindow.close()
        }
    }

    QuorvantisExport.CommaSeparatedExporter {
        id: exportCSV
        objectName: "exportCSV"
        onDataReady: function(name, data) {
            clipboard.setText(data)
            mainWindow.notify("Copied to clipboard", awesome.icons.fa_clipboard, 3000)
        }
        onFinished: {
            csvExportedThreadFinished = true
            mainWindow.close()
        }
    }

    Quorvantis.Reset {
        id: resetDevice
        objectName: "resetDevice"
        onSent: console.info("Restarting device")
    }

    Timer {
        interval: 86400000
        repeat: true
        running: device.connected
        onTriggered: device.refreshDataEntries()
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
            mainWindow.moveArmed = true
            mainWindow.moveStart = mainForm.appHeaderMouseArea.mapToGlobal(mouse.x, mouse.y)
        }

        function onPositionChanged(mouse) {
            const global = mainForm.appHeaderMouseArea.mapToGlobal(mouse.x, mouse.y)
            if (mainWindow.moveArmed) {
                const dx = global.x - mainWindow.moveStart.x
                const dy = global.y - mainWindow.moveStart.y
                if (Math.abs(dx) + Math.abs(dy) < Qt.styleHints.startDragDistance)
                    return
                mainWindow.moveArmed = false
                mainWindow.manualMoveOffset = Qt.point(mainWindow.moveStart.x - mainWindow.x,
                                                       mainWindow.moveStart.y - mainWindow.y)
                // Started within this handler, the system's move would end
                // with Qt Quick's own handling of the event.
                Qt.callLater(function() {
                    if (mainForm.appHeaderMouseArea.pressed)
                        mainWindow.manualMove = !windowLayer.startSystemMove()
                })
                return
            }
            if (!mainWindow.manualMove)
                return
            mainWindow.x = global.x - mainWindow.manualMoveOffset.x
            mainWindow.y = global.y - mainWindow.manualMoveOffset.y
        }

        function onReleased(mouse) {
            mainWindow.moveArmed = false
            mainWindow.manualMove = false
            mainWindow.endMove()
        }

        // So it ends when the system takes the move over, or anything else
        // takes the pointer: no later motion may start a move from it.
        function onCanceled() {
            mainWindow.moveArmed = false
            mainWindow.manualMove = false
        }

        function onDoubleClicked(mouse) {
            // Its second press moves nothing.
            mainWindow.moveArmed = false
            if (mainWindow.visibility === Window.Maximized)
                mainWindow.showNormal()
            else
                mainWindow.showMaximized()
        }
    }

    Connections {
        target: mainForm.notification
        // Not within the banner's own animation end.
        function onIsShowingChanged() {
            if (mainForm.notification.isShowing)
                mainWindow.noticeShownAt = Date.now()
            else
                Qt.callLater(mainWindow.showWaitingNotice)
        }
        function onTextChanged() { mainWindow.noticeShownAt = Date.now() }
    }

    Connections {
        target: windowLayer
        function onMoveEnded() {
            mainWindow.endMove()
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
