import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quorvantis as Quorvantis
import Frelkit as Frelkit
import QuorvantisExport as QuorvantisExport
import QVImports
import Elements as Elements
import FontAwesome as FontAwesome
import Promptwell as Promptwell
import "DataScreen.mjs" as DataScreen

Item {
    id: root
    objectName: "dataPage"
    clip: true

    property string pageName: "Data"
    property int panelWidth: 190 * screenScaler.widthScaler
    property int textPointSize: 12 * screenScaler.fontScaler
    property int headingTextPointSize: 14 * screenScaler.fontScaler
    property int verticalSpacing: 8 * screenScaler.heightScaler
    property int leftSpacing: 5 * screenScaler.widthScaler

    // The one table of curves that the switches and the redraw both read.
    readonly property var traces: DataScreen.traceTable({
        combined: Constants.qvOrangeColour.toString(),
        eField: Constants.eFieldColour.toString(),
        hField: Constants.hFieldColour.toString(),
        sixMin: Constants.sixMinAvgColour.toString(),
        thirtyMin: Constants.thirtyMinAvgColour.toString()
    })
    readonly property var traceSwitches: [combinedSwitch, eFieldSwitch, hFieldSwitch, sixMinSwitch, thirtyMinSwitch]

    // Clipboard texts are built on the exporters' threads from the entry's
    // readings; while any is under way the live session is not reloaded.
    property int clipboardJobs: 0
    // Copies pressed while their session reloads, in press order; they are
    // made once that reload has ended, whether it read anything or not.
    property var pendingCopies: []
    property QtObject copyEntry: null
    onCopyEntryChanged: {
        // The session went away before its reload ended: nothing to copy from.
        if (copyEntry === null && pendingCopies.length > 0) {
            console.warn("Session gone before it could be copied")
            pendingCopies = []
        }
    }

    // The session whose points the field view last reported. Its buttons
    // come back without a new report: a reload that brings nothing new
    // reports none, and an older session is not reloaded at all.
    property QtObject pointsEntry: null

    function pointsStillShown() {
        const entry = presenter.fieldDataEntry
        return entry !== null && entry === pointsEntry && !entry.loading && dataField.visible
            && device.connected
    }

    function setTraceButtonsEnabled(on) {
        copyCsvButton.enabled = on
        copyTsvButton.enabled = on
        copyImgButton.enabled = on
        saveCsvButton.enabled = on
        saveTsvButton.enabled = on
        saveImgButton.enabled = on
    }

    function seriesOf(row) {
        return dataField[row.series]
    }

    function redraw() {
        const graph = dataField.graph
        if (listGroupItems.index > 0) {
            graph.clearPlot()
            for (let i = 0; i < traces.length; ++i) {
                if (!traceSwitches[i].checked)
                    continue
                const row = traces[i]
                graph.addTrace(seriesOf(row), row.name, row.colour, false)
                if (row.note !== "")
                    graph.addTextAnnotation(row.note, row.noteText, row.colour)
            }
            graph.react()
        } else {
            for (let i = 0; i < traces.length; ++i) {
                if (!traceSwitches[i].checked)
                    continue
                const row = traces[i]
                graph.extendTrace(seriesOf(row), row.name, row.colour)
                if (row.note !== "")
                    graph.addTextAnnotation(row.note, row.noteText, row.colour)
            }
            graph.extend()
        }
    }

    function toggleTrace(index) {
        const row = traces[index]
        const graph = dataField.graph
        if (traceSwitches[index].checked) {
            graph.addTrace(seriesOf(row), row.name, row.colour, true)
            if (row.note !== "")
                graph.addTextAnnotation(row.note, row.noteText, row.colour)
        } else {
            graph.removeTrace(row.name, true)
            if (row.note !== "")
                graph.removeTextAnnotation(row.note)
        }
    }

    // A copy waits for a running reload, so that it holds the newest readings.
    function copyText(kind) {
        const entry = presenter.fieldDataEntry
        if (entry === null)
            return
        if (copyEntry !== null && copyEntry !== entry)
            flushCopies(true)
        copyEntry = entry
        pendingCopies = pendingCopies.concat([kind])
        flushCopies(false)
    }

    // Hands the waiting copies to the exporters once their session is not
    // loading, or at once when `now`, with the readings as they stand.
    function flushCopies(now) {
        const entry = copyEntry
        if (entry === null || pendingCopies.length === 0 || (!now && entry.loading))
            return
        const kinds = pendingCopies
        pendingCopies = []
        copyEntry = null
        for (let i = 0; i < kinds.length; ++i) {
            clipboardJobs += 1
            if (kinds[i] === "CSV")
                exportCSV.format(entry, true)
            else
                exportTSV.format(entry, true)
        }
    }

    function saveFailed() {
        notification.show("Error saving file", awesome.icons.fa_warning, 3000)
    }

    // The shell takes the saving page away when the run reports its end.
    function runBulkExport(folder, entryType, charMode) {
        viewStack.push("qrc:/content/SavingFiles.qml")
        bulkFileExport.setFolder(folder)
        bulkFileExport.writeAll(entryType, charMode)
    }

    // The page's saves (files, images, bulk runs) and image copies run one at
    // a time, in the order they were asked for, each until its own report.
    // One to a name an earlier one is about to write asks again once that one
    // has written it.
    property var queuedSaves: []
    property var runningSave: null
    // The session the last save button was pressed for.
    property QtObject saveEntry: null
    // What a save whose replacement was declined needs when its dialog
    // gives another name; only that dialog's next answer takes it.
    property var rechosenSave: null

    function writesTo(path) {
        return (runningSave !== null && runningSave.path === path)
            || queuedSaves.some(save => save.path === path)
    }

    // run(path) starts the save; saveEnded(kind) follows its report.
    function queueSave(kind, dialog, path, context, run) {
        queuedSaves.push({ "kind": kind, "dialog": dialog, "path": path, "context": context,
                           "run": run, "askAgain": path !== "" && writesTo(path) })
        nextSave()
    }

    // Once the instrument's thread stops (the window closes) or the instrument
    // goes, no save can read its session any more: those not yet started are
    // dropped, and none starts after. The running one ends on its own cancel.
    property bool savesEnded: false
    property bool closing: false

    // Saves dropped because the instrument went are told of once, together;
    // a close drops them without a word.
    function endSaves() {
        savesEnded = true
        const dropped = queuedSaves.length + (replaceAgainQuestion.save !== null ? 1 : 0)
        queuedSaves = []
        if (replaceAgainQuestion.save !== null) {
            replaceAgainQuestion.save = null
            replaceAgainQuestion.close()
        }
        if (dropped === 0)
            return
        console.warn("Data.qml -> saves not yet started dropped: the instrument is gone")
        if (!closing)
            mainWindow.notify(DataScreen.droppedSavesText(dropped), awesome.icons.fa_warning, 5000)
    }

    function nextSave() {
        // The running save may learn of the loss before the page does.
        if (savesEnded || !device.connected)
            endSaves()
        if (savesEnded || runningSave !== null || replaceAgainQuestion.save !== null
                || queuedSaves.length === 0)
            return
        const save = queuedSaves.shift()
        if (save.askAgain && Promptwell.FileChoice.exists(save.path)) {
            replaceAgainQuestion.ask(save)
            return
        }
        startSave(save)
    }

    function startSave(save) {
        runningSave = save
        save.run(save.path)
    }

    function saveEnded(kind) {
        if (runningSave === null || runningSave.kind !== kind)
            return
        runningSave = null
        nextSave()
    }

    // The context a dialog's answer saves with: the declined save's, or the
    // one its button gave.
    function contextOf(dialog, fresh) {
        const again = rechosenSave
        if (again === null || again.dialog !== dialog)
            return fresh
        dropRechosen()
        return again.context
    }

    function dropRechosen() {
        if (rechosenSave === null)
            return
        rechosenSave.dialog.proposedName = ""
        rechosenSave = null
    }

    function queueFileSave(dialog, path, context) {
        queueSave("file", dialog, path, context, function(target) {
            fileExport.setDevice(device)
            fileExport.setDataEntry(context.entry)
            fileExport.write(target, context.charMode, true)
        })
    }

    function prepareSave(entry) {
        dropRechosen()
        saveEntry = entry
        fileExport.setDevice(device)
        fileExport.setDataEntry(entry)
    }

    Rectangle {
        anchors.fill: parent
        color: Constants.backgroundColour
    }

    Quorvantis.DeviceStatus {
        id: deviceStatus
        objectName: "deviceStatus"
        // The packet has no values before its reply.
        property bool batteryReported: false
        property bool memoryReported: false
        onBatteryVoltageChanged: batteryReported = true
        onMemoryDisabledChanged: memoryReported = true
        // A lost reply would leave the panel without values for the whole
        // connection.
        onSendFailed: statusRetry.schedule()
        onReceiveFailed: statusRetry.schedule()
    }

    Timer {
        id: statusRetry
        objectName: "statusRetry"
        interval: 2000
        property int attempts: 0
        readonly property int maxAttempts: 5

        function schedule() {
            if (attempts >= maxAttempts)
                return
            attempts += 1
            restart()
        }

        onTriggered: {
            if (device.connected && !deviceStatus.memoryReported)
                device.send(deviceStatus)
        }
    }

    Frelkit.DataEntryPresenter {
        id: presenter
        objectName: "presenter"
        onDataEntryChanged: {}
    }

    Connections {
        target: exportCSV
        function onDataReady() {
            root.clipboardJobs = Math.max(0, root.clipboardJobs - 1)
        }
    }

    Connections {
        target: exportTSV
        function onDataReady() {
            root.clipboardJobs = Math.max(0, root.clipboardJobs - 1)
        }
    }

    Connections {
        target: presenter.fieldDataEntry
        function onLoadingChanged() {
            if (root.pointsStillShown())
                root.setTraceButtonsEnabled(true)
        }
    }

    Connections {
        target: root.copyEntry
        function onLoadingChanged() {
            root.flushCopies(false)
        }
    }

    Connections {
        target: fileExport
        function onDataSaved() { root.saveEnded("file") }
        function onError() { root.saveEnded("file") }
    }

    Connections {
        target: bulkFileExport
        function onDataSaved() { root.saveEnded("bulk") }
        function onError() { root.saveEnded("bulk") }
        function onNoData() { root.saveEnded("bulk") }
        function onCancelled() { root.saveEnded("bulk") }
    }

    Connections {
        target: dataField.graph.plotSaver
        function onImageSaved() { root.saveEnded("image") }
        function onError() { root.saveEnded("image") }
    }

    Connections {
        target: clipboard
        function onImageCopied() { root.saveEnded("image") }
        function onError() { root.saveEnded("image") }
    }

    // On the change itself, not on disconnected(): that may come after the
    // running save has ended on the change, and the next one would start.
    Connections {
        target: device
        function onConnectedChanged(connected) {
            if (!connected)
                root.endSaves()
        }
        function onFinished() { root.endSaves() }
    }

    Connections {
        target: mainWindow
        function onClosing() {
            root.closing = true
            root.endSaves()
        }
    }

    // Asked when a save's turn comes and an earlier save has written its name.
    Promptwell.YesNoDialog {
        id: replaceAgainQuestion
        objectName: "replaceAgainQuestion"

        property var save: null

        function ask(next) {
            save = next
            message = qsTr("%1 already exists.\nDo you want to replace it?")
                .arg(Promptwell.FileChoice.fileName(next.path))
            open()
        }

        parent: Overlay.overlay
        dialogTitle: qsTr("Replace File")
        onYes: {
            const next = save
            save = null
            close()
            root.startSave(next)
        }
        // Back to its dialog, to choose another name.
        onNo: {
            const declined = save
            save = null
            close()
            root.rechosenSave = declined
            declined.dialog.folder = Promptwell.FileChoice.folderOf(declined.path)
            declined.dialog.proposedName = Promptwell.FileChoice.fileName(declined.path)
            declined.dialog.open()
            root.nextSave()
        }
    }

    Promptwell.SelectFolderDialog {
        id: bulkDownloadFileDialog
        objectName: "bulkDownloadFileDialog"
        property string fileType: "CSV"
        onChosen: function(folder) {
            lastSelectedSession = listGroupItems.index
            const charMode = fileType === "CSV" ? QuorvantisExport.BulkFileExporter.CSV
                                                : QuorvantisExport.BulkFileExporter.TSV
            root.queueSave("bulk", null, "", null, function() {
                root.runBulkExport(folder, QuorvantisExport.BulkFileExporter.Field, charMode)
            })
        }
    }

    Promptwell.SelectFolderDialog {
        id: bulkAudioDownloadDialog
        objectName: "bulkAudioDownloadDialog"
        onChosen: function(folder) {
            root.queueSave("bulk", null, "", null, function() {
                root.runBulkExport(folder, QuorvantisExport.BulkFileExporter.Audio,
                                   QuorvantisExport.BulkFileExporter.CSV)
            })
        }
    }

    Promptwell.SaveFileDialog {
        id: dataDownloadFileDialog
        objectName: "dataDownloadFileDialog"
        property string fileType: "CSV"
        title: "Save " + fileType + " file"
        nameFilters: ["Text files (*." + fileType.toLowerCase() + ")", "All files (*)"]
        defaultSuffix: fileType.toLowerCase()
        savedPathOf: function(path) {
            return fileExport.savedPath(path, QuorvantisExport.BulkFileExporter.Field)
        }
        onChosen: function(path) {
            root.queueFileSave(dataDownloadFileDialog, path, root.contextOf(dataDownloadFileDialog, {
                "entry": root.saveEntry,
                "charMode": fileType === "CSV" ? QuorvantisExport.FileExporter.CSV
                                               : QuorvantisExport.FileExporter.TSV
            }))
        }
        onFailed: root.saveFailed()
    }

    Promptwell.SaveFileDialog {
        id: audioDownloadFileDialog
        objectName: "audioDownloadFileDialog"
        title: "Save Audio file"
        nameFilters: ["WAV Audio Files (*.wav)"]
        defaultSuffix: "wav"
        savedPathOf: function(path) {
            return fileExport.savedPath(path, QuorvantisExport.BulkFileExporter.Audio)
        }
        onChosen: function(path) {
            root.queueFileSave(audioDownloadFileDialog, path, root.contextOf(audioDownloadFileDialog, {
                "entry": root.saveEntry,
                "charMode": QuorvantisExport.FileExporter.CSV
            }))
        }
        onFailed: root.saveFailed()
    }

    Promptwell.SaveFileDialog {
        id: imageDownloadFileDialog
        objectName: "imageDownloadFileDialog"
        title: "Save Image file"
        nameFilters: ["PNG Image (*.png)", "JPEG Image (*.jpeg)", "SVG Image (*.svg)"]
        defaultSuffix: "png"
        savedPathOf: function(path, suffix) {
            return DataScreen.imageTarget(path, [suffix]).fileName
        }
        onChosen: function(path) {
            root.dropRechosen()
            root.queueSave("image", imageDownloadFileDialog, path, null, function(fileName) {
                dataField.graph.generateImage(DataScreen.imageTarget(fileName, []).format)
                dataField.graph.waitForImageAndSaveCopy(fileName)
            })
        }
        onFailed: root.saveFailed()
    }

    Item {
        id: body
        objectName: "dataBody"
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        anchors.left: columnLeft.right
        anchors.right: flickableScrollView.left

        property alias graph: dataField.graph

        Data_Nothing {
            id: dataNothing
            anchors.fill: parent
            visible: presenter.mode === Frelkit.DataEntryPresenter.Nothing
        }

        Data_Field {
            id: dataField
            anchors.fill: parent
            visible: presenter.mode === Frelkit.DataEntryPresenter.Field
            currentListGroupIndex: listGroupItems.index
            holdLiveReload: root.clipboardJobs > 0
            // Also hidden while another page covers the screen: back on top,
            // a session whose points were shown needs no new report.
            onVisibleChanged: root.setTraceButtonsEnabled(root.pointsStillShown())
            onVerticesChanged: {
                root.pointsEntry = presenter.fieldDataEntry
                root.redraw()
            }
        }

        Data_Audio {
            id: dataAudio
            anchors.fill: parent
            visible: presenter.mode === Frelkit.DataEntryPresenter.Audio
            onVisibleChanged: {
                if (!visible)
                    player.pause()
            }
        }
    }

    Rectangle {
        id: sessionsHeader
        anchors.top: parent.top
        anchors.left: columnLeft.left
        anchors.right: columnLeft.right
        color: "transparent"
        height: 1.5 * sessionsHeaderText.height

        Text {
            id: sessionsHeaderText
            anchors.centerIn: parent
            text: "Sessions"
            color: "white"
            font.pointSize: 14 * screenScaler.fontScaler
            font.bold: true
        }
    }

    Item {
        id: columnLeft
        anchors.top: sessionsHeader.bottom
        anchors.bottom: parent.bottom
        anchors.left: parent.left
        anchors.leftMargin: 30
        width: 140 * screenScaler.widthScaler

        // The header walk announces the whole list for every header it
        // finds, and each list taken rebuilds the rows: while a walk grows
        // the list, the rows take it at most every 100 ms. Anything else (the
        // walk's end, a new walk, a disconnection) is taken in the next turn,
        // before a list that is replaced can go. A rebuild would drop a press
        // with the row that holds it, so while a row is held down the list
        // waits for the release, unless the one shown is going.
        property var sessions: []
        property bool sessionsComplete: false
        property bool rowHeld: false
        property bool sessionsWaiting: false

        function takeSessions() {
            sessionsTimer.stop()
            const next = device.dataEntries
            sessionsWaiting = rowHeld && device.connected && DataScreen.keepsEntries(sessions, next)
            if (sessionsWaiting)
                return
            sessions = next
            sessionsComplete = device.hasAllHeaders
        }

        onRowHeldChanged: {
            if (!rowHeld && sessionsWaiting)
                Qt.callLater(columnLeft.takeSessions)
        }

        Component.onCompleted: takeSessions()

        Timer {
            id: sessionsTimer
            interval: 100
            onTriggered: columnLeft.takeSessions()
        }

        Connections {
            target: device

            function onDataEntriesChanged() {
                if (columnLeft.sessionsComplete)
                    Qt.callLater(columnLeft.takeSessions)
                else if (!sessionsTimer.running)
                    sessionsTimer.start()
            }

            // Also announced by the walk's end and by a disconnection.
            function onHasAllHeadersChanged() {
                Qt.callLater(columnLeft.takeSessions)
            }
        }

        Elements.ListGroup {
            id: listGroupItems
            objectName: "sessionList"
            anchors.fill: parent
            model: columnLeft.sessions
            sectionFontPointSize: 14 * screenScaler.fontScaler
            delegate: Elements.ListGroupItem {
                objectName: "sessionRow" + index
                width: listGroupItems.width - 8
                icon: !modelData.valid ? awesome.icons.fa_warning
                    : modelData.type === Quorvantis.DataEntry.Field ? awesome.icons.fa_line_chart
                    : modelData.type === Quorvantis.DataEntry.Audio ? awesome.icons.fa_volume_up
                    : awesome.icons.fa_question_circle
                fontPointSize: 12 * screenScaler.fontScaler
                loading: modelData.loading
                text: modelData.timeString
                context: modelData

                onPressedChanged: columnLeft.rowHeld = pressed
                Component.onDestruction: {
                    if (pressed)
                        columnLeft.rowHeld = false
                }

                onSelected: function(index, item) {
                    console.log("")
                    console.log("Data.qml -> Delegate's onSelected")
                    console.log("Data.qml -> Delegate's onSelected index: " + index)
                    console.log("Data.qml -> Delegate's onSelected item: " + item)
                    if (index === 0)
                        body.graph.clearPlot()
                    // The buttons wait for this session's own points, which a
                    // loaded session gives at once when the presenter takes it.
                    if (item !== root.pointsEntry) {
                        root.pointsEntry = null
                        root.setTraceButtonsEnabled(false)
                    }
                    // Copies still waiting for the session left behind are
                    // made from what it holds now.
                    root.flushCopies(true)
                    item.load(device, index === 0)
                    presenter.dataEntry = item
                    if (root.pointsStillShown())
                        root.setTraceButtonsEnabled(true)
                }
            }
        }
    }

    ScrollView {
        id: flickableScrollView
        objectName: "panel"
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        anchors.bottomMargin: verticalSpacing
        anchors.right: parent.right
        anchors.rightMargin: 30 * screenScaler.widthScaler
        width: panelWidth + vBar.width

        ScrollBar.vertical: ScrollBar {
            id: vBar
            objectName: "panelScrollBar"
            stepSize: 0.05
            visible: flickablePanel.contentHeight > flickablePanel.height + 1
            width: handle.implicitWidth
            anchors.right: flickablePanel.right
            contentItem: Rectangle {
                id: handle
                implicitHeight: flickablePanel.height
                implicitWidth: 8
                radius: width / 2
                color: vBar.pressed ? Constants.qvOrangeColour : Constants.qvOrangeDarkColour
            }
            background: Rectangle {
                color: "transparent"
                radius: width / 2
                opacity: 0.2
            }
        }

        Flickable {
            id: flickablePanel
            objectName: "panelFlickable"
            width: panelWidth
            height: flickableScrollView.height
            contentWidth: panelWidth
            contentHeight: contentColumn.height

            Item {
                id: contentColumn
                width: panelWidth
                property int heightOfContent: controls.height * controls.visible
                                              + selectedSession.height * selectedSession.visible
                                              + bulkExport.height + deviceInfo.height
                // The scroll view follows the content's implicit height: it
                // must not depend on the view's own height, or the two chase
                // each other while the panel lays itself out.
                implicitHeight: heightOfContent
                height: Math.max(flickablePanel.height, heightOfContent)

                Rectangle {
                    id: controls
                    objectName: "graphControls"
                    anchors.top: parent.top
                    anchors.horizontalCenter: parent.horizontalCenter
                    width: panelWidth
                    height: 1.05 * controlsColumn.height
                    color: Constants.headerColour
                    visible: dataField.visible || dataAudio.visible

                    Column {
                        id: controlsColumn
                        width: parent.width
                        anchors.horizontalCenter: parent.horizontalCenter
                        spacing: verticalSpacing

                        Elements.SectionHeader {
                            width: parent.width
                            anchors.horizontalCenter: parent.horizontalCenter
                            text: "Graph Controls"
                            font.pointSize: headingTextPointSize
                        }

                        GridLayout {
                            columns: 2
                            rowSpacing: verticalSpacing
                            anchors.left: parent.left
                            anchors.right: parent.right
                            anchors.leftMargin: leftSpacing
                            anchors.rightMargin: leftSpacing

                            Text { text: traces[0].label; color: "white"; font.pointSize: textPointSize }
                            Elements.SwitchFromScratch {
                                id: combinedSwitch
                                objectName: "combinedSwitch"
                                text: ""
                                font.pointSize: textPointSize
                                Layout.alignment: Qt.AlignRight
                                checked: traces[0].checked
                                enabled: dataField.visible
                                onClicked: root.toggleTrace(0)
                            }

                            Text { text: traces[1].label; color: "white"; font.pointSize: textPointSize }
                            Elements.SwitchFromScratch {
                                id: eFieldSwitch
                                objectName: "eFieldSwitch"
                                text: ""
                                font.pointSize: textPointSize
                                Layout.alignment: Qt.AlignRight
                                checked: traces[1].checked
                                enabled: dataField.visible
                                onClicked: root.toggleTrace(1)
                            }

                            Text { text: traces[2].label; color: "white"; font.pointSize: textPointSize }
                            Elements.SwitchFromScratch {
                                id: hFieldSwitch
                                objectName: "hFieldSwitch"
                                text: ""
                                font.pointSize: textPointSize
                                Layout.alignment: Qt.AlignRight
                                checked: traces[2].checked
                                enabled: dataField.visible
                                onClicked: root.toggleTrace(2)
                            }

                            Text { text: traces[3].label; color: "white"; font.pointSize: textPointSize }
                            Elements.SwitchFromScratch {
                                id: sixMinSwitch
                                objectName: "sixMinSwitch"
                                text: ""
                                font.pointSize: textPointSize
                                Layout.alignment: Qt.AlignRight
                                checked: traces[3].checked
                                enabled: dataField.visible
                                onClicked: root.toggleTrace(3)
                            }

                            Text { text: traces[4].label; color: "white"; font.pointSize: textPointSize }
                            Elements.SwitchFromScratch {
                                id: thirtyMinSwitch
                                objectName: "thirtyMinSwitch"
                                text: ""
                                font.pointSize: textPointSize
                                Layout.alignment: Qt.AlignRight
                                checked: traces[4].checked
                                enabled: dataField.visible
                                onClicked: root.toggleTrace(4)
                            }
                        }
                    }
                }

                Rectangle {
                    id: selectedSession
                    objectName: "selectedSession"
                    anchors.top: controls.bottom
                    anchors.horizontalCenter: parent.horizontalCenter
                    width: panelWidth
                    height: 1.05 * selectedSessionColumn.height
                    color: Constants.headerColour
                    visible: dataField.visible || dataAudio.visible

                    Column {
                        id: selectedSessionColumn
                        width: parent.width
                        anchors.horizontalCenter: parent.horizontalCenter
                        spacing: verticalSpacing

                        Elements.SectionHeader {
                            width: parent.width
                            anchors.horizontalCenter: parent.horizontalCenter
                            text: "Selected Session"
                            font.pointSize: headingTextPointSize
                        }

                        Column {
                            width: parent.width
                            anchors.horizontalCenter: parent.horizontalCenter
                            spacing: verticalSpacing / 2

                            Text {
                                text: "Copy As:"
                                color: "white"
                                font.pointSize: textPointSize
                                anchors.left: parent.left
                                anchors.leftMargin: leftSpacing
                            }

                            Row {
                                anchors.horizontalCenter: parent.horizontalCenter
                                spacing: 5

                                Elements.LabelButton {
                                    id: copyCsvButton
                                    objectName: "copyCsvButton"
                                    text: "CSV"
                                    fontPointSize: textPointSize
                                    enabled: dataField.visible
                                    onClicked: root.copyText("CSV")
                                }
                                Elements.LabelButton {
                                    id: copyTsvButton
                                    objectName: "copyTsvButton"
                                    text: "TSV"
                                    fontPointSize: textPointSize
                                    enabled: dataField.visible
                                    onClicked: root.copyText("TSV")
                                }
                                Elements.LabelButton {
                                    id: copyImgButton
                                    objectName: "copyImgButton"
                                    text: "IMG"
                                    fontPointSize: textPointSize
                                    enabled: dataField.visible
                                    // After the saves asked for before it,
                                    // also those still waiting to start.
                                    onClicked: root.queueSave("image", null, "", null, function() {
                                        dataField.graph.generateImage("png")
                                        dataField.graph.waitForImageAndSaveCopy()
                                    })
                                }
                            }
                        }

                        Column {
                            width: parent.width
                            anchors.horizontalCenter: parent.horizontalCenter
                            spacing: verticalSpacing / 2

                            Text {
                                text: "Save As:"
                                color: "white"
                                font.pointSize: textPointSize
                                anchors.left: parent.left
                                anchors.leftMargin: leftSpacing
                            }

                            Row {
                                anchors.horizontalCenter: parent.horizontalCenter
                                spacing: 5

                                Elements.LabelButton {
                                    id: saveCsvButton
                                    objectName: "saveCsvButton"
                                    text: "CSV"
                                    fontPointSize: textPointSize
                                    enabled: dataField.visible
                                    onClicked: {
                                        root.prepareSave(presenter.dataEntry)
                                        dataDownloadFileDialog.title = "Save Log File"
                                        dataDownloadFileDialog.fileType = "CSV"
                                        dataDownloadFileDialog.open()
                                    }
                                }
                                Elements.LabelButton {
                                    id: saveTsvButton
                                    objectName: "saveTsvButton"
                                    text: "TSV"
                                    fontPointSize: textPointSize
                                    enabled: dataField.visible
                                    onClicked: {
                                        root.prepareSave(presenter.dataEntry)
                                        dataDownloadFileDialog.title = "Save Log File"
                                        dataDownloadFileDialog.fileType = "TSV"
                                        dataDownloadFileDialog.open()
                                    }
                                }
                                Elements.LabelButton {
                                    id: saveImgButton
                                    objectName: "saveImgButton"
                                    text: "IMG"
                                    fontPointSize: textPointSize
                                    enabled: dataField.visible
                                    onClicked: {
                                        root.dropRechosen()
                                        imageDownloadFileDialog.open()
                                    }
                                }
                            }
                        }

                        Elements.LabelButton {
                            objectName: "exportWavButton"
                            anchors.horizontalCenter: parent.horizontalCenter
                            text: "Export WAV"
                            fontPointSize: textPointSize
                            enabled: dataAudio.visible
                            onClicked: {
                                root.prepareSave(presenter.audioDataEntry)
                                audioDownloadFileDialog.open()
                            }
                        }
                    }
                }

                Rectangle {
                    id: bulkExport
                    objectName: "bulkExport"
                    anchors.bottom: deviceInfo.top
                    anchors.horizontalCenter: parent.horizontalCenter
                    width: panelWidth
                    height: 1.05 * bulkExportColumn.height
                    color: Constants.headerColour

                    // No run before the instrument has said its memory is on.
                    readonly property bool canExport: deviceStatus.memoryReported && !deviceStatus.memoryDisabled

                    function prepare() {
                        bulkFileExport.setDevice(device)
                        bulkFileExport.setDataEntries(device.dataEntries)
                    }

                    Column {
                        id: bulkExportColumn
                        width: parent.width
                        anchors.horizontalCenter: parent.horizontalCenter
                        spacing: verticalSpacing

                        Elements.SectionHeader {
                            width: bulkExport.width
                            anchors.horizontalCenter: parent.horizontalCenter
                            text: "Bulk Export"
                            font.pointSize: headingTextPointSize
                        }

                        Column {
                            width: bulkExportColumn.width
                            spacing: verticalSpacing
                            anchors.horizontalCenter: parent.horizontalCenter

                            Text {
                                text: "Export All:"
                                color: "white"
                                font.pointSize: textPointSize
                                anchors.left: parent.left
                                anchors.leftMargin: leftSpacing
                            }

                            Row {
                                spacing: 5 * screenScaler.widthScaler
                                anchors.horizontalCenter: parent.horizontalCenter

                                Elements.LabelButton {
                                    objectName: "bulkCsvButton"
                                    text: "CSV"
                                    fontPointSize: textPointSize
                                    enabled: bulkExport.canExport
                                    onClicked: {
                                        bulkExport.prepare()
                                        bulkDownloadFileDialog.title = "Save Log Files"
                                        bulkDownloadFileDialog.fileType = "CSV"
                                        bulkDownloadFileDialog.open()
                                    }
                                }
                                Elements.LabelButton {
                                    objectName: "bulkTsvButton"
                                    text: "TSV"
                                    fontPointSize: textPointSize
                                    enabled: bulkExport.canExport
                                    onClicked: {
                                        bulkExport.prepare()
                                        bulkDownloadFileDialog.title = "Save Log Files"
                                        bulkDownloadFileDialog.fileType = "TSV"
                                        bulkDownloadFileDialog.open()
                                    }
                                }
                            }
                        }

                        Elements.LabelButton {
                            objectName: "bulkAudioButton"
                            anchors.horizontalCenter: parent.horizontalCenter
                            text: "Export Audio"
                            fontPointSize: textPointSize
                            enabled: bulkExport.canExport
                            onClicked: {
                                bulkExport.prepare()
                                bulkAudioDownloadDialog.title = "Save Audio Files"
                                bulkAudioDownloadDialog.open()
                            }
                        }
                    }
                }

                Rectangle {
                    id: deviceInfo
                    objectName: "deviceInfo"
                    anchors.bottom: parent.bottom
                    anchors.horizontalCenter: parent.horizontalCenter
                    width: panelWidth
                    height: 1.05 * deviceInfoColumn.height
                    color: Constants.headerColour

                    Column {
                        id: deviceInfoColumn
                        width: parent.width
                        anchors.horizontalCenter: parent.horizontalCenter
                        spacing: verticalSpacing

                        Elements.SectionHeader {
                            id: deviceInfoHeader
                            width: parent.width
                            anchors.horizontalCenter: parent.horizontalCenter
                            text: "Device Info"
                            font.pointSize: headingTextPointSize
                        }

                        GridLayout {
                            id: deviceInfoGrid
                            columns: 2
                            anchors.left: parent.left
                            anchors.right: parent.right
                            anchors.leftMargin: leftSpacing
                            anchors.rightMargin: leftSpacing

                            Text { text: "Barcode: "; color: "white"; font.pointSize: textPointSize }
                            Text {
                                objectName: "barcodeText"
                                text: padNumber(device.deviceID.barcode, 7)
                                color: "white"
                                font.pointSize: textPointSize
                                Layout.alignment: Qt.AlignRight
                            }

                            Text { text: "Firmware: "; color: "white"; font.pointSize: textPointSize }
                            Text {
                                objectName: "firmwareText"
                                text: "v" + device.codeVersion.humanize
                                color: "white"
                                font.pointSize: textPointSize
                                Layout.alignment: Qt.AlignRight
                            }

                            Text { text: "Bootloader: "; color: "white"; font.pointSize: textPointSize }
                            Text {
                                objectName: "bootloaderText"
                                text: "v" + device.bootloaderVersion.humanize
                                color: "white"
                                font.pointSize: textPointSize
                                Layout.alignment: Qt.AlignRight
                            }

                            Text { text: "Battery: "; color: "white"; font.pointSize: textPointSize }
                            Text {
                                objectName: "batteryText"
                                text: DataScreen.batteryText(deviceStatus.batteryReported, deviceStatus.batteryVoltage)
                                color: "white"
                                font.pointSize: textPointSize
                                Layout.alignment: Qt.AlignRight
                            }

                            Text { text: "Memory: "; color: "white"; font.pointSize: textPointSize }
                            Text {
                                objectName: "memoryText"
                                text: DataScreen.memoryText(deviceStatus.memoryReported, deviceStatus.memoryDisabled)
                                color: deviceStatus.memoryReported && deviceStatus.memoryDisabled ? "red" : "white"
                                font.pointSize: textPointSize
                                Layout.alignment: Qt.AlignRight
                            }

                            Text { text: "Cal Exp: "; color: "white"; font.pointSize: textPointSize }
                            Text {
                                id: calDateText
                                objectName: "calDateText"
                                text: apiVars.calDate
                                textFormat: Text.PlainText
                                color: text === "Expired" ? "red" : "white"
                                font.pointSize: textPointSize
                                Layout.alignment: Qt.AlignRight

                                MouseArea {
                                    id: calDateMouseArea
                                    objectName: "calDateMouseArea"
                                    anchors.fill: parent
                                    hoverEnabled: true
                                    enabled: calDateText.text === "Disabled"
                                    cursorShape: containsMouse ? Qt.PointingHandCursor : Qt.ArrowCursor
                                    onClicked: viewStack.push("qrc:/content/AppInfo.qml")
                                }
                            }
                        }

                        Elements.LabelButton {
                            objectName: "rebootButton"
                            anchors.horizontalCenter: parent.horizontalCenter
                            text: "Reboot"
                            fontPointSize: textPointSize
                            onClicked: {
                                device.send(resetDevice)
                                notification.show("Device rebooting", awesome.icons.fa_power_off, 5000)
                            }
                        }

                        Elements.LabelButton {
                            objectName: "clearMemoryButton"
                            anchors.horizontalCenter: parent.horizontalCenter
                            text: "Clear Memory"
                            fontPointSize: textPointSize
                            enabled: deviceStatus.memoryReported && !deviceStatus.memoryDisabled
                            onClicked: viewStack.push("qrc:/content/ClearDevice.qml")
                        }
                    }
                }
            }
        }
    }

    Component.onCompleted: {
        device.send(deviceStatus)
        presenter.dataEntry = null
    }

    // Sessions held for a bulk run that never started go with the page.
    Component.onDestruction: {
        if (bulkFileExport)
            bulkFileExport.setDataEntries([])
    }
}
