import QtQuick
import QtWebEngine
import QVImports
import Frelkit
import Elements

// Time-series plot drawn by Plotly.js in a web page built once; every change
// reaches the page as a short script.
Item {
    id: root

    anchors.fill: parent

    property alias plotSaver: saver
    property string defaultColour: Constants.qvOrangeColour.toString()
    property int axisFontPointSize: 0
    property int titleFontPointSize: 0
    property int legendFontPointSize: 0
    property int annotationFontPointSize: 0
    property string plotTitle: "Test Title"
    property var traces: []
    property var annotations: []
    property var indicesToUpdate: []
    property var xDataToUpdate: []
    property var yDataToUpdate: []
    property var layout: buildLayout(plotTitle, axisFontPointSize, titleFontPointSize,
                                     legendFontPointSize, annotationFontPointSize, annotations)

    // The page's renderer ended again and again: the plot stays blank, and
    // image requests end with an error at once.
    signal stoppedForGood(string message)

    QtObject {
        id: internal

        property bool pageReady: false
        // Scripts waiting for a later turn of the event loop (send).
        property var outbox: []
        readonly property int sliceChars: 4 * 1024 * 1024
        // What this turn may still hand the page (send), and whether the
        // turn that renews it is on its way.
        property int turnBudget: sliceChars
        property bool turnAhead: false
        readonly property int lazyListLength: 65536
        // The lists the page keeps for re-plots: {id, isTime, list}.
        property var pageLists: []
        // The lists of the last few sessions drawn, newest first, each as
        // {times, lists}: a session chosen again is not sent again.
        property var recentPlots: []
        readonly property int keptSessions: 3
        readonly property int keptListsPerSession: 8
        property int lastListId: 0
        property bool extendInFlight: false
        // What was asked while the page loaded: it is drawn once the page is
        // there, as if asked then.
        property bool drawOnLoad: false
        // The overlays as last asked for; a page loaded again shows them.
        property var overlay: ({})
        // What waits for the page (whenPageReady): run after the held
        // session is drawn, so an image holds what the screen shows.
        property var afterLoad: []
        // Renderer ends, each within quickDeathMs of the one before: at
        // maxQuickDeaths the page is not loaded again.
        property int quickDeaths: 0
        property double lastDeath: 0
        readonly property int quickDeathMs: 30000
        readonly property int maxQuickDeaths: 3
        property bool pageDown: false
        // Number of the last image request made.
        property int imageRequest: 0
        // Image requests in the order made; the first is being served.
        property var imageJobs: []
        readonly property string hoverTemplate: "%{x}, %{y:.2f}%<extra></extra>"
        readonly property string plotlyUrl: "qrc:/content/Elements/plotly-3.0.1.js"
    }

    PlotSaver {
        id: saver
    }

    WebEngineView {
        id: webView

        objectName: "webView"
        anchors.fill: parent
        backgroundColor: "#111"
        url: "about:blank"

        onContextMenuRequested: request => request.accepted = true
        onLoadingChanged: loadingInfo => {
            if (loadingInfo.status !== WebEngineView.LoadSucceededStatus
                    || !String(loadingInfo.url).startsWith("data:"))
                return
            internal.pageReady = true
            console.log("PlotlyGraph -> WebEngineView done loading")
            root.drawHeld()
            const waiting = internal.afterLoad
            internal.afterLoad = []
            waiting.forEach(action => action())
        }
        onRenderProcessTerminated: (status, exitCode) => root.pageLost(status, exitCode)
    }

    Connections {
        target: typeof mainWindow !== "undefined" ? mainWindow : null
        ignoreUnknownSignals: true

        function onScreenChanged() {
            console.log("Screen changed signal received in PlotlyGraph. Re-rendering.")
            root.updateAnnotationGeometries()
            root.react()
        }
    }

    Component.onCompleted: render()
    // An image the caller waits for when the view goes (its screen closed,
    // the instrument unplugged) can no longer be made: it ends with an error,
    // as one that times out does, and never in silence.
    Component.onDestruction: endImageJobs("Plot closed before the image was ready.", false)
    onTracesChanged: holdForLoad()
    onLayoutChanged: holdForLoad()

    function buildLayout(title, axisSize, titleSize, legendSize, annotationSize, notes) {
        return {
            "paper_bgcolor": "#111",
            "plot_bgcolor": "#111",
            "font": { "color": "#fff" },
            "xaxis": { "type": "date", "gridcolor": "#333", "tickfont": { "size": axisSize },
                       "ticklabelstandoff": 20 },
            "yaxis": { "range": [0, 200], "ticksuffix": "%", "gridcolor": "#333",
                       "tickfont": { "size": axisSize } },
            "showlegend": true,
            "legend": { "x": 1, "y": 1, "xanchor": "right", "yanchor": "top",
                        "itemclick": false, "itemdoubleclick": false, "orientation": "v",
                        "font": { "size": legendSize } },
            "title": { "text": title, "font": { "size": titleSize, "color": "#fff" } },
            "uirevision": 1,
            "annotations": notes
        }
    }

    // --- text handed to the page ----------------------------------------------------------

    function colourText(colour) {
        return colour === undefined || colour === null ? "" : String(colour)
    }

    // Traces keep their date-times as numbers (the time value of the local
    // wall-clock date) and their values in Float64Arrays: one object each for
    // the garbage collector. PlotPoints writes the page's script for a list:
    // the ISO texts Plotly gets, made in one pass, and values as their bytes.
    // The page keeps what it was sent (pageList), so a list's text is made
    // when it is sent and not kept; extending a trace replaces its arrays.
    function listText(list, isTime) {
        return isTime ? PlotPoints.timesScript(list) : PlotPoints.valuesScript(list)
    }

    function traceJson(trace, xText) {
        const rest = Object.assign({}, trace)
        delete rest.x
        delete rest.y
        const restJson = JSON.stringify(rest)
        return "{\"x\":" + xText + ",\"y\":" + listText(trace.y, false)
            + (restJson === "{}" ? "}" : "," + restJson.slice(1))
    }

    // A script whose value is the trace list with ISO date texts. The series of
    // a session share their times: each distinct time list is sent once, and
    // the traces share it (plotList).
    function tracesScript(list) {
        const times = []
        const parts = list.map(trace => {
            const text = listText(trace.x, true)
            let index = times.indexOf(text)
            if (index < 0) {
                index = times.length
                times.push(text)
            }
            return traceJson(trace, "xs[" + index + "]")
        })
        return "(function () { var xs = [" + times.join(",") + "]; return ["
            + parts.join(",") + "]; })()"
    }

    // The lists of a re-plot go to the page one script each and are kept
    // there (plotStore) while they belong to one of the last few sessions
    // drawn (keepRecent): a list the page holds is not sent again, and the
    // series of a session, which share their times, send them once. Returns
    // the page's expression for the list.
    function pageList(list, isTime, stores, used) {
        let entry = internal.pageLists.find(e => e.isTime === isTime && sameList(e.list, list))
        if (entry === undefined) {
            entry = { "id": ++internal.lastListId, "isTime": isTime, "list": list }
            internal.pageLists.push(entry)
            const before = "try {\nplotStore(" + entry.id + ", "
            const after = ");\n} catch (e) { console.log(e); }"
            // A long list's text is made in the turn that sends it, and goes
            // to the page without becoming a script value here.
            stores.push(list.length >= internal.lazyListLength
                        ? () => PlotPoints.runListScript(webView, before, list, isTime, after)
                        : before + listText(list, isTime) + after)
        }
        if (used.indexOf(entry) < 0)
            used.push(entry)
        return "plotList(" + entry.id + ")"
    }

    function sameList(a, b) {
        if (a === b)
            return true
        const n = a.length
        if (n !== b.length)
            return false
        if (!ArrayBuffer.isView(a) || !ArrayBuffer.isView(b))
            return PlotPoints.listScript(a) === PlotPoints.listScript(b)
        // Lists of other sessions differ at once; only a likely match is
        // compared whole.
        if (n > 0 && !(sameNumber(a[0], b[0]) && sameNumber(a[n - 1], b[n - 1])
                       && sameNumber(a[n >> 1], b[n >> 1])))
            return false
        return PlotPoints.sameNumbers(a, b)
    }

    function sameNumber(a, b) {
        return a === b || (a !== a && b !== b)
    }

    // The lists the page keeps after a re-plot that used `used`: those of
    // this session and of the few drawn before it.
    function keepRecent(used) {
        const times = used.find(e => e.isTime)
        const lists = used.slice()
        const recent = [{ "times": times, "lists": lists }]
        internal.recentPlots.forEach(plot => {
            if (plot.times === undefined)
                return
            if (plot.times !== times) {
                if (recent.length < internal.keptSessions)
                    recent.push(plot)
                return
            }
            // The same session: the lists of its traces switched off stay too.
            plot.lists.forEach(e => {
                if (lists.length < internal.keptListsPerSession && lists.indexOf(e) < 0)
                    lists.push(e)
            })
        })
        internal.recentPlots = recent
        const kept = []
        recent.forEach(plot => plot.lists.forEach(e => {
            if (kept.indexOf(e) < 0)
                kept.push(e)
        }))
        internal.pageLists = kept
        return kept
    }

    function guarded(script) {
        return "try {\n" + script + "\n} catch (e) { console.log(e); }"
    }

    function runScript(script) {
        send(guarded(script))
    }

    // Scripts reach the page in the order sent, at most a few megabytes in
    // one turn of the event loop; what is over waits for the next turn, and
    // so does everything after it. A script may be given as a function that
    // makes and runs it when its turn comes, and returns its length.
    function send(script, callback) {
        internal.outbox.push({ "script": script, "callback": callback })
        if (internal.outbox.length === 1)
            sendOutbox()
    }

    function sendOutbox() {
        const outbox = internal.outbox
        while (outbox.length > 0 && internal.turnBudget > 0) {
            const item = outbox.shift()
            if (typeof item.script === "function") {
                internal.turnBudget -= item.script()
                continue
            }
            const script = item.script
            internal.turnBudget -= script.length
            if (item.callback)
                webView.runJavaScript(script, item.callback)
            else
                webView.runJavaScript(script)
        }
        if (!internal.turnAhead) {
            internal.turnAhead = true
            PlotPoints.later(root, nextOutboxTurn)
        }
    }

    // After input, painting and due timers, so that the window keeps
    // answering while a long re-plot goes out.
    function nextOutboxTurn() {
        internal.turnAhead = false
        internal.turnBudget = internal.sliceChars
        if (internal.outbox.length > 0)
            sendOutbox()
    }

    function pageHtml(pageTraces) {
        // The data sits inside a <script> element: no "</script>" may close it early.
        const data = ("var traces = " + tracesScript(pageTraces) + ";\nvar layout = "
                      + JSON.stringify(layout) + ";").replace(/</g, "\\u003c")
        return "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
            + "<script src=\"" + internal.plotlyUrl + "\"></script>\n"
            + "<style>\n"
            + "body { margin: 0; background: #111; color: #fff;"
            + " font-family: 'Segoe UI', Roboto, sans-serif; display: flex;"
            + " justify-content: center; align-items: center; height: 100vh; font-size: 1.5rem; }\n"
            + ".message-box-overlay { position: absolute; top: 50%; left: 50%;"
            + " transform: translate(-50%, -50%); z-index: 10; border-radius: 12px;"
            + " background: #1e1e1e; padding: 20px; border: 2px solid #444;"
            + " box-shadow: 0 0 20px rgba(255, 255, 255, 0.05); display: none; }\n"
            + ".js-plotly-plot .legend .traces .legendtoggle { cursor: default !important;"
            + " pointer-events: none !important; }\n"
            + "#chart { width: 100vw; height: 100vh; overflow: hidden; }\n"
            + "</style>\n</head>\n<body>\n"
            + "<div id=\"chart\"></div>\n"
            + "<div id=\"imageData\" style=\"display: none\"></div>\n"
            + "<p id=\"lastError\" style=\"display: none\"></p>\n"
            + "<div id=\"noData\" class=\"message-box-overlay\">No data in this data block</div>\n"
            + "<div id=\"loadingBlock\" class=\"message-box-overlay\">Loading...</div>\n"
            + "<script>\n"
            // Room for the words of a list, kept from one list to the next:
            // fresh buffers of megabytes, each counted as outside memory, make
            // the page collect its garbage in the middle of the next drawing.
            + "function scratch(buffer, type, n) {\n"
            + "  return buffer.length >= n ? buffer : new type(Math.max(n, 2 * buffer.length));\n"
            + "}\n"
            // A Float64Array sent as its 16-bit words, a character each. It
            // lives in room the next call takes again: each caller copies it.
            + "var f16Words = new Uint16Array(0);\n"
            + "function f16(text) {\n"
            + "  var n = text.length, words = f16Words = scratch(f16Words, Uint16Array, n);\n"
            + "  for (var i = 0; i < n; ++i) words[i] = text.charCodeAt(i);\n"
            + "  return new Float64Array(words.buffer, 0, n / 4);\n"
            + "}\n"
            // Array.from over a long typed array takes several times as long as this loop.
            + "function plainList(values) {\n"
            + "  var n = values.length, out = [];\n"
            + "  for (var i = 0; i < n; ++i) out.push(values[i]);\n"
            + "  return out;\n"
            + "}\n"
            // ISO 8601 UTC text of each time value, as JSON gives it for a Date.
            // Whole milliseconds within the years 1970 to 9999 are written from
            // the minute's text and the seconds, several times faster than
            // toISOString for each.
            + "var digits2 = [], fractions = [];\n"
            + "for (var k = 0; k < 1000; ++k) { var t = String(k); if (k < 100) digits2.push(('0' + t).slice(-2));"
            + " fractions.push('.' + ('00' + t).slice(-3) + 'Z'); }\n"
            + "function isoDates(values) {\n"
            + "  var n = values.length, out = new Array(n), last = NaN, text = null;\n"
            + "  var dayStart = NaN, dayText = '', minuteStart = NaN, minuteText = '';\n"
            + "  for (var i = 0; i < n; ++i) {\n"
            + "    var v = values[i];\n"
            + "    if (v !== last) {\n"
            + "      last = v;\n"
            + "      if (typeof v === 'number' && v >= 0 && v < 253402300800000 && v === Math.floor(v)) {\n"
            + "        var ms = v - minuteStart;\n"
            + "        if (!(ms >= 0 && ms < 60000)) {\n"
            + "          minuteStart = v - v % 60000;\n"
            + "          ms = v - minuteStart;\n"
            + "          var day = minuteStart - minuteStart % 86400000;\n"
            + "          if (day !== dayStart) {\n"
            + "            dayStart = day;\n"
            + "            dayText = new Date(day).toISOString().slice(0, 11);\n"
            + "          }\n"
            + "          var minutes = (minuteStart - day) / 60000;\n"
            + "          minuteText = dayText + digits2[Math.floor(minutes / 60)] + ':'"
            + " + digits2[minutes % 60] + ':';\n"
            + "        }\n"
            + "        text = minuteText + digits2[Math.floor(ms / 1000)] + fractions[ms % 1000];\n"
            + "      } else {\n"
            + "        var d = typeof v === 'number' ? new Date(v) : null;\n"
            + "        text = d && isFinite(d.getTime()) ? d.toISOString() : null;\n"
            + "      }\n"
            + "    }\n"
            + "    out[i] = text;\n"
            + "  }\n"
            + "  return out;\n"
            + "}\n"
            // The ISO texts of times given as steps from the one before (the
            // first from 0), a step or [step, count] for one repeated, each
            // time standing for `run` entries of the list; for whole
            // milliseconds within the years 1970 to 9999. They are written
            // four characters at a time into one flat string and sliced from
            // it: Plotly reads those as fast as any string, unlike texts
            // joined piece by piece, which it must flatten first.
            + "function wordsOf(count, text) {\n"
            + "  var bytes = new Uint8Array(4 * count);\n"
            + "  for (var i = 0; i < count; ++i)\n"
            + "    for (var k = 0; k < 4; ++k) bytes[4 * i + k] = text(i).charCodeAt(k);\n"
            + "  return new Uint32Array(bytes.buffer);\n"
            + "}\n"
            + "var hourMinuteWords = wordsOf(600, function (i) { return (i / 60 | 0) + ':' + digits2[i % 60]; });\n"
            + "var secondWords = wordsOf(60, function (i) { return ':' + digits2[i] + '.'; });\n"
            + "var millisecondWords = wordsOf(1000, function (i) { return fractions[i].slice(1); });\n"
            + "var isoWords = new Uint32Array(0);\n"
            + "function isoTexts(steps, run) {\n"
            + "  var n = 0;\n"
            + "  for (var i = 0; i < steps.length; ++i) n += typeof steps[i] === 'number' ? 1 : steps[i][1];\n"
            + "  var words = isoWords = scratch(isoWords, Uint32Array, 6 * n), o = 0, t = 0, day = NaN, w0 = 0, w1 = 0;\n"
            + "  var dayBytes = new Uint8Array(12), dayWords = new Uint32Array(dayBytes.buffer), tens = [0, 0, 0];\n"
            + "  for (var i = 0; i < steps.length; ++i) {\n"
            + "    var step = steps[i], count = 1;\n"
            + "    if (typeof step !== 'number') { count = step[1]; step = step[0]; }\n"
            + "    for (var c = 0; c < count; ++c, o += 6) {\n"
            + "      t += step;\n"
            + "      if (!(t - day >= 0 && t - day < 86400000)) {\n"
            + "        day = t - t % 86400000;\n"
            + "        var dayText = new Date(day).toISOString();\n"
            + "        for (var k = 0; k < 11; ++k) dayBytes[k] = dayText.charCodeAt(k);\n"
            // The third word ends in the hour's tens.
            + "        for (var k = 0; k < 3; ++k) { dayBytes[11] = 48 + k; tens[k] = dayWords[2]; }\n"
            + "        w0 = dayWords[0]; w1 = dayWords[1];\n"
            + "      }\n"
            // Milliseconds of the day fit in 32 bits: integer arithmetic from here.
            + "      var r = (t - day) | 0, seconds = (r / 1000) | 0, minutes = (seconds / 60) | 0;\n"
            + "      var h = (minutes / 60) | 0, ht = (h / 10) | 0;\n"
            + "      words[o] = w0; words[o + 1] = w1; words[o + 2] = tens[ht];\n"
            + "      words[o + 3] = hourMinuteWords[(h - 10 * ht) * 60 + minutes - 60 * h];\n"
            + "      words[o + 4] = secondWords[seconds - 60 * minutes];\n"
            + "      words[o + 5] = millisecondWords[r - 1000 * seconds];\n"
            + "    }\n"
            + "  }\n"
            + "  var text = new TextDecoder('ascii').decode(words.subarray(0, 6 * n)), out = new Array(n * run), j = 0;\n"
            + "  for (var i = 0; i < n; ++i) {\n"
            + "    var x = text.substring(24 * i, 24 * i + 24);\n"
            + "    for (var k = 0; k < run; ++k) out[j++] = x;\n"
            + "  }\n"
            + "  return out;\n"
            + "}\n"
            // A step line's values: the first, then each later one twice
            // but the last, which stands once.
            + "function innerPairs(values, length) {\n"
            + "  var out = new Array(length), k = 0;\n"
            + "  out[k++] = values[0];\n"
            + "  for (var i = 1; i < values.length; ++i) {\n"
            + "    out[k++] = values[i];\n"
            + "    if (k < length) out[k++] = values[i];\n"
            + "  }\n"
            + "  return out;\n"
            + "}\n"
            // Values as a table of the distinct ones and, a character each
            // from U+3000 on, each value's place in it. The result lives in
            // room the next call takes again: each caller copies it.
            + "var tableValues = new Float64Array(0);\n"
            + "function fromTable(table, places) {\n"
            + "  var n = places.length, out = tableValues = scratch(tableValues, Float64Array, n);\n"
            + "  for (var i = 0; i < n; ++i) out[i] = table[places.charCodeAt(i) - 12288];\n"
            + "  return out.subarray(0, n);\n"
            + "}\n"
            + data + "\n"
            + "var config = { scrollZoom: true, displaylogo: false, responsive: true,"
            + " modeBarButtonsToRemove: ['toImage'] };\n"
            + "Plotly.newPlot('chart', traces, layout, config);\n"
            // The lists of the re-plots, by number (pageList).
            + "var plotLists = {};\n"
            + "function plotStore(id, list) { plotLists[id] = list; }\n"
            // Plotly replaces a trace's arrays when it extends them, and never
            // writes into them: the traces take the kept lists themselves.
            + "function plotList(id) { return plotLists[id]; }\n"
            + "function plotKeep(ids) {\n"
            + "  var kept = {};\n"
            + "  for (var i = 0; i < ids.length; ++i) kept[ids[i]] = plotLists[ids[i]];\n"
            + "  plotLists = kept;\n"
            + "}\n"
            // Any change of the notes makes Plotly recompute every trace, which
            // takes seconds for long sessions: an unchanged list only carries
            // the revision, and notes sent under the loading overlay wait for
            // the re-plot that follows and brings them anyway.
            + "var notesJson = JSON.stringify(layout.annotations || []);\n"
            + "var pendingNotes = null;\n"
            + "function plotReact(traces, layout) {\n"
            + "  pendingNotes = null;\n"
            + "  notesJson = JSON.stringify(layout.annotations || []);\n"
            + "  Plotly.react('chart', traces, layout);\n"
            + "}\n"
            + "function relayoutNotes(update) {\n"
            + "  if (document.getElementById('loadingBlock').style.display === 'block') {\n"
            + "    pendingNotes = update;\n"
            + "    return;\n"
            + "  }\n"
            + "  pendingNotes = null;\n"
            + "  var json = JSON.stringify(update.annotations || []);\n"
            + "  if (json === notesJson) {\n"
            + "    Plotly.relayout('chart', { uirevision: update.uirevision });\n"
            + "    return;\n"
            + "  }\n"
            + "  notesJson = json;\n"
            + "  Plotly.relayout('chart', update);\n"
            + "}\n"
            + "function setOverlays(chart, noData, loading) {\n"
            + "  if (chart !== null)\n"
            + "    document.getElementById('chart').style.visibility = chart ? 'visible' : 'hidden';\n"
            + "  if (noData !== null)\n"
            + "    document.getElementById('noData').style.display = noData ? 'block' : 'none';\n"
            + "  if (loading !== null)\n"
            + "    document.getElementById('loadingBlock').style.display = loading ? 'block' : 'none';\n"
            + "  if (!loading && pendingNotes)\n"
            + "    relayoutNotes(pendingNotes);\n"
            + "}\n"
            + "var imageRequest = 0;\n"
            // The slot is emptied before each render and only the latest
            // request may fill it, so a late or superseded image never lands.
            + "function generatePlotImage(imageType, request) {\n"
            + "  var slot = document.getElementById('imageData');\n"
            + "  imageRequest = request;\n"
            + "  slot.textContent = '';\n"
            + "  slot.dataset.request = '';\n"
            + "  try {\n"
            + "    Plotly.toImage(document.getElementById('chart'),"
            + " { format: imageType, width: 1920, height: 1080 }).then(function (url) {\n"
            + "      if (request !== imageRequest) return;\n"
            + "      slot.dataset.request = String(request);\n"
            + "      slot.textContent = url;\n"
            + "    }, function (e) { console.log(e); });\n"
            + "  } catch (e) {\n"
            + "    document.getElementById('lastError').textContent = String(e);\n"
            + "  }\n"
            + "}\n"
            + "function dropPlotImage(request) {\n"
            + "  if (imageRequest !== request) return;\n"
            + "  imageRequest = 0;\n"
            + "  var slot = document.getElementById('imageData');\n"
            + "  slot.textContent = '';\n"
            + "  slot.dataset.request = '';\n"
            + "}\n"
            + "</script>\n</body>\n</html>\n"
    }

    function setDisplay(chartShown, noDataShown, loadingShown) {
        const shown = internal.overlay
        if (chartShown !== undefined)
            shown.chart = chartShown
        if (noDataShown !== undefined)
            shown.noData = noDataShown
        if (loadingShown !== undefined)
            shown.loading = loadingShown
        if (!internal.pageReady)
            return
        const flag = shown => shown === undefined ? "null" : shown ? "true" : "false"
        runScript("setOverlays(" + flag(chartShown) + ", " + flag(noDataShown) + ", "
                  + flag(loadingShown) + ");")
    }

    // --- page -------------------------------------------------------------------------------

    function render() {
        internal.drawOnLoad = false
        internal.overlay = {}
        loadPage(traces)
    }

    function loadPage(pageTraces) {
        internal.pageReady = false
        internal.extendInFlight = false
        internal.outbox = []
        internal.pageLists = []
        internal.recentPlots = []
        webView.loadHtml(pageHtml(pageTraces))
    }

    // The renderer ended (a crash, out of memory, a kill): the page is gone
    // with every script and answer it owed. Images waiting on it end with an
    // error; the page is loaded again and the session drawn on it, unless it
    // keeps ending.
    function pageLost(status, exitCode) {
        console.warn("PlotlyGraph -> renderer ended, status " + status + ", exit code " + exitCode)
        const now = Date.now()
        internal.quickDeaths = now - internal.lastDeath < internal.quickDeathMs
                ? internal.quickDeaths + 1 : 1
        internal.lastDeath = now
        internal.pageReady = false
        internal.afterLoad = []
        internal.pageDown = internal.quickDeaths >= internal.maxQuickDeaths
        endImageJobs("The plot's page stopped before the image was ready.", !internal.pageDown)
        if (internal.pageDown) {
            internal.outbox = []
            stoppedForGood("The plot stopped: its page ended " + internal.quickDeaths
                           + " times in a row.")
            return
        }
        // The page starts empty, and the session goes to it as a re-plot:
        // its lists may be longer than a page's text can hold.
        internal.drawOnLoad = true
        loadPage([])
    }

    // True while the page loads: the caller's change waits for drawHeld.
    function holdForLoad() {
        if (internal.pageReady)
            return false
        internal.drawOnLoad = true
        return true
    }

    // Scripts sent to a loading page are lost; what the element holds by
    // the end of the load is drawn then, once.
    function drawHeld() {
        const overlay = internal.overlay
        if (Object.keys(overlay).length > 0)
            setDisplay(overlay.chart, overlay.noData, overlay.loading)
        if (internal.drawOnLoad) {
            internal.drawOnLoad = false
            react()
        }
    }

    // --- traces -----------------------------------------------------------------------------

    function utcOffsetMs() {
        const hours = -new Date().getTimezoneOffset() / 60
        return hours * 3600000
    }

    function mapXToDateTime(dataPoints) {
        const offset = utcOffsetMs()
        const n = dataPoints.length
        const result = new Array(n)
        for (let i = 0; i < n; ++i)
            result[i] = new Date(Number(dataPoints[i].x) + offset)
        return result
    }

    function mapYToPercentage(dataPoints) {
        const n = dataPoints.length
        const result = new Array(n)
        for (let i = 0; i < n; ++i)
            result[i] = dataPoints[i].y * 100
        return result
    }

    // A plot series (which hands over its numbers without making its point
    // maps) stands for its list wherever a point list is taken.
    function pointCount(dataPoints) {
        return dataPoints.pointCount !== undefined ? dataPoints.pointCount : dataPoints.length
    }

    // Converts points [from, length) in one pass over the list.
    function convertPoints(dataPoints, from) {
        return PlotPoints.convert(dataPoints, utcOffsetMs(), from)
    }

    function traceIndex(traceName) {
        for (let i = 0; i < traces.length; ++i) {
            if (traces[i].name === traceName)
                return i
        }
        return -1
    }

    function traceExists(traceName) {
        return traceIndex(traceName) >= 0
    }

    function addTrace(dataPoints, name, colour, update) {
        const points = convertPoints(dataPoints, 0)
        traces.push({
            "x": points.x,
            "y": points.y,
            "mode": "lines",
            "name": name,
            "line": { "color": colourText(colour) || defaultColour },
            "hovertemplate": internal.hoverTemplate
        })
        holdForLoad()
        if (update) {
            if (!layout.yaxis)
                layout.yaxis = {}
            layout.yaxis.type = "linear"
            react()
        }
    }

    function removeTrace(name, update) {
        if (!traceExists(name))
            return
        traces = traces.filter(trace => trace.name !== name)
        if (update)
            react()
    }

    function extendTrace(dataPoints, name, colour) {
        const index = traceIndex(name)
        if (index < 0) {
            console.log("Trace " + name + " not yet plot. Running addTrace")
            addTrace(dataPoints, name, colour, true)
            return
        }
        const trace = traces[index]
        const have = trace.x.length
        if (pointCount(dataPoints) <= have)
            return
        const points = convertPoints(dataPoints, have)
        trace.x = joined(trace.x, points.x)
        trace.y = joined(trace.y, points.y)
        // While the page loads, the re-plot at its end sends the whole trace.
        if (holdForLoad())
            return
        indicesToUpdate.push(index)
        xDataToUpdate.push(Array.from(points.x))
        yDataToUpdate.push(Array.from(points.y))
    }

    function joined(list, more) {
        if (!ArrayBuffer.isView(list)) {
            for (let i = 0; i < more.length; ++i)
                list.push(more[i])
            return list
        }
        const result = new Float64Array(list.length + more.length)
        result.set(list)
        result.set(more, list.length)
        return result
    }

    function extend() {
        if (!internal.pageReady || indicesToUpdate.length === 0 || internal.extendInFlight)
            return
        // Plotly refuses an index listed twice, and the batch would be lost:
        // one entry per trace, its batches joined in queue order.
        const order = []
        const xs = {}
        const ys = {}
        for (let i = 0; i < indicesToUpdate.length; ++i) {
            const index = indicesToUpdate[i]
            if (xs[index] === undefined) {
                order.push(index)
                xs[index] = []
                ys[index] = []
            }
            xs[index] = xs[index].concat(xDataToUpdate[i])
            ys[index] = ys[index].concat(yDataToUpdate[i])
        }
        const xJson = JSON.stringify(order.map(index => xs[index]))
        const yJson = JSON.stringify(order.map(index => ys[index]))
        // Plotly redraws every point on each extension; while the page is still
        // busy with the previous one, new batches wait and go out together.
        internal.extendInFlight = true
        send(guarded("Plotly.extendTraces('chart', { \"x\": " + xJson + ".map(isoDates), \"y\": "
                     + yJson + " }, " + JSON.stringify(order) + ");"), function () {
                         internal.extendInFlight = false
                         root.extend()
                     })
        clearUpdateQueue()
    }

    function clearUpdateQueue() {
        indicesToUpdate.length = 0
        xDataToUpdate.length = 0
        yDataToUpdate.length = 0
    }

    function react() {
        // The full list already holds every queued point; sending the queue
        // after this would draw those points twice.
        clearUpdateQueue()
        if (holdForLoad())
            return
        const stores = []
        const used = []
        const parts = traces.map(trace => {
            const rest = Object.assign({}, trace)
            delete rest.x
            delete rest.y
            const restJson = JSON.stringify(rest)
            return "{\"x\":" + pageList(trace.x, true, stores, used) + ",\"y\":"
                + pageList(trace.y, false, stores, used)
                + (restJson === "{}" ? "}" : "," + restJson.slice(1))
        })
        const kept = keepRecent(used)
        stores.forEach(store => send(store))
        runScript("plotKeep([" + kept.map(e => e.id).join(",") + "]);\nplotReact(["
                  + parts.join(",") + "], " + JSON.stringify(layout)
                  + ");\nPlotly.Plots.resize('chart');")
        hideLoading()
    }

    function clearPlot() {
        // Also while the page loads: a session chosen then replaces the one
        // before it, as it does later.
        holdForLoad()
        traces.length = 0
        annotations.length = 0
    }

    function resetLayout() {
        layout.uirevision = Math.floor(Math.random() * 100) + 1
    }

    // --- notes ------------------------------------------------------------------------------

    function relayoutNotes() {
        if (holdForLoad())
            return
        runScript("relayoutNotes(" + JSON.stringify({
            "annotations": layout.annotations,
            "uirevision": layout.uirevision
        }) + ");")
    }

    function addTextAnnotation(name, text, fontColour) {
        const exists = annotations.some(note => note.name === name)
        if (!exists) {
            annotations.push({
                "name": name,
                "text": text,
                "x": 0,
                "y": 1 - 0.03 * annotations.length,
                "xref": "paper",
                "yref": "paper",
                "showarrow": false,
                "align": "left",
                "font": { "size": annotationFontPointSize, "color": colourText(fontColour) }
            })
        }
        relayoutNotes()
    }

    function removeTextAnnotation(name) {
        annotations = layout.annotations.filter(note => note.name !== name)
        updateAnnotationGeometries()
        relayoutNotes()
    }

    function updateAnnotationGeometries() {
        for (let i = 0; i < annotations.length; ++i) {
            const note = annotations[i]
            if (!note.font)
                note.font = {}
            note.font.size = annotationFontPointSize
            note.y = 1 - 0.03 * i
        }
    }

    // --- overlays ---------------------------------------------------------------------------

    function showNoDataBlock() {
        clearPlot()
        setDisplay(false, true, false)
    }

    function showChart() {
        setDisplay(true, false, false)
    }

    function showChartLoading() {
        clearPlot()
        setDisplay(true, false, true)
    }

    function hideLoading() {
        setDisplay(undefined, undefined, false)
    }

    // --- image export -----------------------------------------------------------------------

    // Image requests are served one after another: the page has one slot,
    // and each request the user made ends with its own file, copy or error.
    // A render that nobody waits for yet is replaced by the next one.

    function imageQuery(request) {
        return "(function () { var slot = document.getElementById('imageData');"
            + " return slot && slot.dataset.request === '" + request + "' ? slot.textContent : '';"
            + " })()"
    }

    function sendImageRender(imageType, request) {
        runScript("generatePlotImage(" + JSON.stringify(String(imageType)) + ", " + request + ");")
    }

    // Runs action now, or once the page has loaded and drawn what was held.
    function whenPageReady(action) {
        if (internal.pageReady)
            action()
        else
            internal.afterLoad.push(action)
    }

    function newImageJob(imageType) {
        internal.imageRequest += 1
        const job = { "request": internal.imageRequest, "type": imageType, "waiting": false,
                      "fileName": "", "maxTries": 1000, "tries": 0, "started": false,
                      "rendered": false, "ended": false }
        // Each job polls through a function of its own: Qt.callLater merges
        // calls of one function.
        job.poll = function () { pollImage(job) }
        return job
    }

    function startImageJob(job) {
        job.started = true
        whenPageReady(function () {
            if (internal.imageJobs[0] !== job || job.ended)
                return
            if (job.type !== "" && !job.rendered)
                sendImageRender(job.type, job.request)
            job.rendered = true
            if (job.waiting)
                pollImage(job)
        })
    }

    function finishImageJob(job) {
        const jobs = internal.imageJobs
        if (jobs[0] !== job)
            return
        job.ended = true
        jobs.shift()
        if (jobs.length > 0)
            startImageJob(jobs[0])
    }

    // Every request waited for ends with the error; one nobody waits for
    // yet is kept for a new page if asked to. The errors go out last: a
    // caller's next request may come inside them.
    function endImageJobs(message, keepUnclaimed) {
        const jobs = internal.imageJobs
        const kept = jobs.filter(job => !job.waiting && keepUnclaimed)
        internal.imageJobs = kept
        kept.forEach(job => {
            job.started = false
            job.rendered = false
        })
        if (kept.length > 0)
            startImageJob(kept[0])
        jobs.forEach(job => {
            if (kept.indexOf(job) >= 0)
                return
            job.ended = true
            if (job.waiting)
                saver.triggerError(message)
        })
    }

    function generateImage(imageType) {
        if (internal.pageDown)
            return
        const jobs = internal.imageJobs
        const abandoned = jobs.length > 0 && !jobs[0].waiting
        for (let i = jobs.length - 1; i >= 0; --i) {
            if (!jobs[i].waiting)
                jobs.splice(i, 1)
        }
        jobs.push(newImageJob(String(imageType)))
        if (jobs.length === 1 || abandoned)
            startImageJob(jobs[0])
    }

    function waitForImageAndSaveCopy(fileName, maxTries) {
        if (internal.pageDown) {
            saver.triggerError("The plot stopped; no image can be made.")
            return
        }
        const jobs = internal.imageJobs
        let job = jobs.length > 0 ? jobs[jobs.length - 1] : null
        if (job === null || job.waiting) {
            // A wait with no render of its own polls a slot nothing fills.
            job = newImageJob("")
            jobs.push(job)
        }
        job.waiting = true
        job.fileName = fileName === undefined ? "" : String(fileName)
        job.maxTries = maxTries === undefined ? 1000 : maxTries
        if (jobs[0] === job) {
            if (!job.started)
                startImageJob(job)
            else if (job.rendered)
                pollImage(job)
        }
    }

    function pollImage(job) {
        webView.runJavaScript(imageQuery(job.request), function (result) {
            if (job.ended)
                return
            if (typeof result === "string" && result.startsWith("data:image/")) {
                handOverImage(job)
            } else if (job.tries < job.maxTries) {
                ++job.tries
                Qt.callLater(job.poll)
            } else {
                webView.runJavaScript("dropPlotImage(" + job.request + ");")
                saver.triggerError("Image generation timed out after " + job.tries + " attempts.")
                finishImageJob(job)
            }
        })
    }

    function handOverImage(job) {
        getImageUrlAndSaveCopy(job.fileName, job.request, function (handed) {
            if (job.ended)
                return
            if (!handed && job.tries < job.maxTries) {
                ++job.tries
                pollImage(job)
                return
            }
            if (!handed)
                saver.triggerError("Image generation timed out after " + job.tries + " attempts.")
            finishImageJob(job)
        })
    }

    function getImageUrlAndSaveCopy(fileName, request, done) {
        if (request === undefined) {
            const jobs = internal.imageJobs
            request = jobs.length > 0 ? jobs[0].request : internal.imageRequest
        }
        webView.runJavaScript(imageQuery(request), function (result) {
            const handed = typeof result === "string" && result.startsWith("data:image/")
            if (handed) {
                if (fileName)
                    saver.saveImageData(result, fileName)
                else
                    clipboard.copyBase64Image(result)
                webView.runJavaScript("dropPlotImage(" + request + ");")
            }
            if (done)
                done(handed)
        })
    }
}
