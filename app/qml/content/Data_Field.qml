import QtQuick
import Quorvantis as Quorvantis
import QuorvantisExport as QuorvantisExport
import Frelkit as Frelkit
import Elements as Elements
import FontAwesome as FontAwesome
import QVImports

Item {
    id: root
    objectName: "dataField"
    anchors.fill: parent

    property string pageName: "DataField"
    property int currentListGroupIndex: 0
    // Set while an exporter thread reads the live entry: a reload would
    // replace the readings under it.
    property bool holdLiveReload: false

    property alias graph: body.graphInstance
    property alias exposureLineSeries: body.exposureLineSeriesInstance
    property alias eFieldLineSeries: body.eFieldLineSeriesInstance
    property alias hFieldLineSeries: body.hFieldLineSeriesInstance
    property alias sixMinAverageLineSeries: body.sixMinAverageLineSeriesInstance
    property alias thirtyMinAverageLineSeries: body.thirtyMinAverageLineSeriesInstance

    signal verticesChanged

    function setTraceButtonsEnabled(on) {
        copyCsvButton.enabled = on
        copyTsvButton.enabled = on
        copyImgButton.enabled = on
        saveCsvButton.enabled = on
        saveTsvButton.enabled = on
        saveImgButton.enabled = on
    }

    // The series take the entry in this order, so that the exposure series,
    // whose signal starts the redraw, takes it last and, having connected to
    // the entry last, also rebuilds last on every reload.
    function takeEntry() {
        const entry = presenter.fieldDataEntry
        eFieldLineSeries.fieldEntry = entry
        hFieldLineSeries.fieldEntry = entry
        sixMinAverageLineSeries.fieldEntry = entry
        thirtyMinAverageLineSeries.fieldEntry = entry
        exposureLineSeries.fieldEntry = entry
    }

    Connections {
        target: presenter
        function onDataEntryChanged() {
            root.takeEntry()
        }
    }

    Component.onCompleted: takeEntry()

    // Each announcement of the exposure series, followed through its point
    // count: a handler of its signal, or a read of its vertices, would make
    // one map per point (a tenth of a second and more for a long session).
    // A new object each time, so every announcement counts, also of an
    // unchanged list.
    property var exposureAnnouncement: ({ "points": exposureLineSeries.pointCount })
    onExposureAnnouncementChanged: newVertices(exposureAnnouncement.points)

    function newVertices(points) {
        if (!device.connected)
            return
        if (points > 0) {
            graph.resetLayout()
            if (root.currentListGroupIndex > 0)
                graph.showChartLoading()
            else
                graph.showChart()
            console.log("Setting trace export buttons enabled")
            root.setTraceButtonsEnabled(true)
            root.verticesChanged()
        } else if (root.currentListGroupIndex > -1) {
            graph.showNoDataBlock()
            console.log("Setting trace export buttons disabled")
            root.setTraceButtonsEnabled(false)
        } else {
            console.log("@@@@@@@@@@@@@@ No data selected")
        }
    }

    Timer {
        id: liveReload
        objectName: "liveReloadTimer"
        interval: 1000
        repeat: true
        triggeredOnStart: false
        running: device.connected && !root.holdLiveReload && presenter.fieldDataEntry !== null
                 && device.dataEntries.length > 0 && presenter.fieldDataEntry === device.dataEntries[0]
        onTriggered: presenter.dataEntry.load(device, true)
    }

    Item {
        id: body
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        anchors.leftMargin: 15
        anchors.rightMargin: 15

        property Elements.PlotlyGraph graphInstance: graph
        property Frelkit.ExposureLineSeries exposureLineSeriesInstance: exposureLineSeries
        property Frelkit.EFieldLineSeries eFieldLineSeriesInstance: eFieldLineSeries
        property Frelkit.HFieldLineSeries hFieldLineSeriesInstance: hFieldLineSeries
        property Frelkit.SixMinAverageLineSeries sixMinAverageLineSeriesInstance: sixMinAverageLineSeries
        property Frelkit.ThirtyMinAverageLineSeries thirtyMinAverageLineSeriesInstance: thirtyMinAverageLineSeries

        Elements.PlotlyGraph {
            id: graph
            objectName: "plot"
            anchors.fill: parent
            plotTitle: device.isPublic ? "Percentage of Public Exposure Limit"
                                       : "Percentage of Occupational Exposure Limit"
            axisFontPointSize: 12 * screenScaler.fontScaler
            titleFontPointSize: 16 * screenScaler.fontScaler
            legendFontPointSize: 12 * screenScaler.fontScaler
            annotationFontPointSize: 12 * screenScaler.fontScaler
            // Through the shell's turns: the last image's own error comes with it.
            onStoppedForGood: message => mainWindow.notify(message, awesome.icons.fa_warning, 5000)

            Connections {
                target: graph.plotSaver
                function onImageSaved() {
                    notification.show("Image saved", awesome.icons.fa_floppy_o, 3000)
                }
                function onError(error) {
                    notification.show("Error saving image: " + error, awesome.icons.fa_floppy_o, 3000)
                }
            }
        }

        Frelkit.EFieldLineSeries {
            id: eFieldLineSeries
        }

        Frelkit.HFieldLineSeries {
            id: hFieldLineSeries
        }

        Frelkit.SixMinAverageLineSeries {
            id: sixMinAverageLineSeries
        }

        Frelkit.ThirtyMinAverageLineSeries {
            id: thirtyMinAverageLineSeries
        }

        Frelkit.ExposureLineSeries {
            id: exposureLineSeries

        }
    }
}
