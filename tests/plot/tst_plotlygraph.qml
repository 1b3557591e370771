import QtQuick
import QtTest
import QtCore
import QtWebEngine
import Elements

Item {
    id: host
    width: 800
    height: 600

    Component {
        id: graphComponent
        PlotlyGraph {}
    }

    Component {
        id: imageComponent
        Image {
            asynchronous: false
            cache: false
        }
    }

    SignalSpy {
        id: savedSpy
        signalName: "imageSaved"
    }

    SignalSpy {
        id: errorSpy
        signalName: "error"
    }

    TestCase {
        name: "PlotPoints"

        function test_numbersJson() {
            const ordinary = [0, 1, -3, 1.5, 74.53000000000001, 0.1 + 0.2, 1780300800000, -1e-7,
                              123456.789, 1e21, 5e-324, Math.pow(2, 53) + 2]
            compare(JSON.parse(PlotPoints.numbersJson(ordinary)), ordinary)
            compare(PlotPoints.numbersJson([0, 12, 74.53, 1780300800000, 0.30000000000000004]),
                    JSON.stringify([0, 12, 74.53, 1780300800000, 0.30000000000000004]))
            compare(PlotPoints.numbersJson([NaN, Infinity, -Infinity, "7", null, undefined]),
                    "[null,null,null,null,null,null]")
            compare(PlotPoints.numbersJson([]), "[]")
            compare(PlotPoints.numbersJson([new Date(1780300800000), new Date(NaN)]),
                    "[1780300800000,null]")
        }

        function test_convert() {
            const list = [{ "x": 1000, "y": 0.5 }, { "x": 2000 }, { "y": 1 }, 42,
                          { "x": new Date(3000), "y": 0.25 }]
            const all = PlotPoints.convert(list, 60000, 0)
            compare(all.x.length, 5)
            compare([all.x[0], all.y[0]], [61000, 50])
            verify(isNaN(all.y[1]) && isNaN(all.x[2]) && isNaN(all.x[3]))
            compare([all.x[4], all.y[4]], [63000, 25])
            compare(PlotPoints.numbersJson(all.x), "[61000,62000,null,null,63000]")
            compare(PlotPoints.numbersJson(all.y), "[50,null,100,null,25]")
            // The page reads the lists back from their bytes.
            verify(PlotPoints.listScript(all.x).startsWith("f16('"))
            compare(PlotPoints.listScript(all.y.subarray(2, 3)),
                    PlotPoints.listScript(PlotPoints.convert([{ "x": 0, "y": 1 }], 0, 0).y))
            compare(PlotPoints.listScript([1, 2.5]), "[1,2.5]")
            // A list is read as it stands, also after it was written to here.
            all.y[0] = 7
            compare(PlotPoints.listScript(all.y),
                    PlotPoints.listScript(new Float64Array([7, NaN, 100, NaN, 25])))
            all.y[0] = 50
            const tail = PlotPoints.convert(list, 0, 3)
            compare(tail.x.length, 2)
            compare(tail.x[1], 3000)
            compare(PlotPoints.convert(list, 0, 9).x.length, 0)
            compare(PlotPoints.listScript(PlotPoints.convert(undefined, 0, 0).x), "f16('')")
            // A long list is read in parts; every point lands in its own slot.
            const many = []
            for (let i = 0; i < 120000; ++i)
                many.push({ "x": 1000 * i, "y": i % 7 })
            const read = PlotPoints.convert(many, 5, 10)
            compare(read.x.length, 119990)
            let wrong = 0
            for (let i = 0; i < read.x.length; ++i) {
                if (read.x[i] !== 1000 * (i + 10) + 5 || read.y[i] !== ((i + 10) % 7) * 100)
                    ++wrong
            }
            compare(wrong, 0)
        }
    }

    TestCase {
        name: "PlotlyGraph"
        when: windowShown

        readonly property real t0: Date.UTC(2025, 2, 1, 12, 0, 0)

        function pageLoaded(graph) {
            const view = findChild(graph, "webView")
            return !view.loading && String(view.url).startsWith("data:")
        }

        function makeGraph(properties) {
            const graph = createTemporaryObject(graphComponent, host, properties || {})
            tryVerify(() => pageLoaded(graph), 60000, "page loaded")
            savedSpy.target = graph.plotSaver
            errorSpy.target = graph.plotSaver
            savedSpy.clear()
            errorSpy.clear()
            clipboard.clear()
            return graph
        }

        // Evaluates an expression in the page after every script sent so far.
        function page(graph, expression) {
            const view = findChild(graph, "webView")
            let done = false
            let value
            view.runJavaScript("JSON.stringify((function () { return " + expression + "; })())",
                               result => {
                                   value = result
                                   done = true
                               })
            tryVerify(() => done, 20000, "page answered " + expression)
            return value === undefined ? undefined : JSON.parse(value)
        }

        function chartData(graph) {
            return page(graph, "document.getElementById('chart').data.map(t => ({ name: t.name,"
                        + " x: t.x, y: t.y, colour: t.line.color, mode: t.mode,"
                        + " hover: t.hovertemplate }))")
        }

        // n readings 2 s apart as step vertices; y given as fractions.
        function points(n, scale) {
            const list = []
            for (let i = 0; i < n; ++i)
                list.push({ "x": t0 + i * 2000, "y": (scale || 0.01) * i })
            return list
        }

        function wallClock(utcMs) {
            return new Date(utcMs - new Date().getTimezoneOffset() * 60000).toISOString()
        }

        function tempFile(name) {
            const dir = String(StandardPaths.writableLocation(StandardPaths.TempLocation))
                .replace(/^file:\/\//, "")
            return dir + "/qvplot-" + Date.now() + "-" + name
        }

        function readText(path) {
            const request = new XMLHttpRequest()
            request.open("GET", "file://" + path, false)
            request.send()
            return request.responseText
        }

        function imageSize(path) {
            const image = createTemporaryObject(imageComponent, host, { "source": "file://" + path })
            tryCompare(image, "status", Image.Ready, 5000)
            return [image.implicitWidth, image.implicitHeight]
        }

        // A trace across the chart gives thousands of its colour's pixels.
        function colourPixels(source, colour) {
            const canvas = Qt.createQmlObject("import QtQuick; Canvas { width: 1920; height: 1080 }", host)
            canvas.loadImage(source)
            tryVerify(() => canvas.available && canvas.isImageLoaded(source), 10000)
            const context = canvas.getContext("2d")
            context.drawImage(source, 0, 0)
            const data = context.getImageData(0, 0, 1920, 1080).data
            const c = Qt.color(colour)
            let n = 0
            for (let i = 0; i < data.length; i += 4)
                n += Math.abs(data[i] - 255 * c.r) + Math.abs(data[i + 1] - 255 * c.g)
                        + Math.abs(data[i + 2] - 255 * c.b) < 48 ? 1 : 0
            canvas.destroy()
            return n
        }

        // Save IMG (a file name) or Copy IMG (""): the image handed over.
        function image(graph, fileName, type) {
            const before = savedSpy.count + clipboard.imageCount
            graph.generateImage(type || "png")
            graph.waitForImageAndSaveCopy(fileName)
            tryVerify(() => savedSpy.count + clipboard.imageCount > before, 60000, "image handed over")
            return fileName ? "file://" + fileName : clipboard.imageData
        }

        function choose(graph, colour) {
            graph.clearPlot()
            graph.addTrace(points(20), "Combined Exposure", colour, false)
            graph.react()
        }

        function test_replotSendsTraces() {
            const graph = makeGraph()
            graph.addTrace([{ "x": t0, "y": 0.4567 }, { "x": t0 + 1000, "y": 1.5 }],
                           "Combined Exposure", "", false)
            graph.addTrace(points(4), "E-Field", "#035888", false)
            compare(page(graph, "document.getElementById('chart').data.length"), 0,
                    "adding without update leaves the drawing alone")
            compare(graph.layout.yaxis.type, undefined)

            graph.react()
            const data = chartData(graph)
            compare(data.map(t => t.name), ["Combined Exposure", "E-Field"])
            compare(data.map(t => t.x.length), [2, 4])
            compare(data[0].x, [wallClock(t0), wallClock(t0 + 1000)])
            fuzzyCompare(data[0].y[0], 45.67, 1e-9)
            fuzzyCompare(data[0].y[1], 150, 1e-9)
            compare(data.map(t => t.colour), ["#ff6a00", "#035888"])
            compare(data[0].mode, "lines")
            compare(data[0].hover, "%{x}, %{y:.2f}%<extra></extra>")

            graph.addTrace(points(3), "H-Field", "", true)
            compare(chartData(graph).map(t => t.name), ["Combined Exposure", "E-Field", "H-Field"])
            compare(page(graph, "document.getElementById('chart').layout.yaxis.type"), "linear")
            compare(graph.layout.yaxis.type, "linear")

            // Same name twice gives two traces; removing drops both.
            graph.addTrace(points(2), "E-Field", "", true)
            verify(graph.traceExists("E-Field"))
            graph.removeTrace("E-Field", true)
            verify(!graph.traceExists("E-Field"))
            compare(chartData(graph).map(t => t.name), ["Combined Exposure", "H-Field"])

            // Absent name: no script at all, so a shown overlay stays.
            page(graph, "document.getElementById('loadingBlock').style.display = 'block'")
            graph.removeTrace("30 Min Average", true)
            compare(page(graph, "document.getElementById('loadingBlock').style.display"), "block")

            // A trace list set by the caller with dates as mapXToDateTime makes them.
            const given = points(3)
            graph.traces = [{ "x": graph.mapXToDateTime(given), "y": graph.mapYToPercentage(given),
                              "mode": "lines", "name": "Given", "line": { "color": "#fff" },
                              "hovertemplate": "%{x}, %{y:.2f}%<extra></extra>" }]
            graph.react()
            compare(chartData(graph)[0].x, given.map(p => wallClock(p.x)))

            // Lists of every shape reach the page as they are: a step line as
            // the series give it, with a pause in its readings, and one with
            // uneven times, a time before 1970 and a missing value.
            const steps = []
            for (let i = 1; i < 7; ++i) {
                const t = t0 + i * 1000 + (i > 3 ? 60000 : 0)
                steps.push({ "x": t, "y": 0.01 * (i - 1) }, { "x": t, "y": 0.01 * i })
            }
            const odd = [{ "x": t0, "y": 0.1 }, { "x": t0, "y": 0.2 }, { "x": t0 + 1000, "y": NaN },
                         { "x": -86400000, "y": 0.3 }]
            graph.clearPlot()
            graph.addTrace(steps, "Steps", "", false)
            graph.addTrace(odd, "Odd", "", false)
            graph.react()
            const shapes = chartData(graph)
            compare(shapes[0].x, steps.map(p => wallClock(p.x)))
            compare(shapes[0].y, steps.map(p => p.y * 100))
            compare(shapes[1].x, odd.map(p => wallClock(p.x)))
            compare(shapes[1].y, odd.map(p => isNaN(p.y) ? null : p.y * 100))
            // Many values but few distinct ones, as readings are, in a step
            // line and in a list of single points.
            const few = []
            for (let i = 1; i <= 150; ++i) {
                const t = t0 + i * 1000
                few.push({ "x": t, "y": 0.01 * ((i - 1) % 5) }, { "x": t, "y": 0.01 * (i % 5) })
            }
            const flat = points(100).map((p, i) => ({ "x": p.x, "y": [0.1, 0.3, 0.07][i % 3] }))
            graph.clearPlot()
            graph.addTrace(few, "Few", "", false)
            graph.addTrace(flat, "Flat", "", false)
            graph.react()
            const repeated = chartData(graph)
            compare(repeated[0].y, few.map(p => p.y * 100))
            compare(repeated[1].y, flat.map(p => p.y * 100))

            // Values whose bytes hold every code unit a script's text escapes.
            const units = [0x0, 0xA, 0xD, 0x22, 0x27, 0x3C, 0x5C, 0x2028, 0x2029, 0xD800, 0xDBFF,
                           0xDC00, 0xDFFF, 0xFEFF, 0xFFFE, 0xFFFF]
            const words = new Uint16Array(4 * units.length)
            units.forEach((unit, i) => words.set([unit, unit, 0x41, 0x4059], 4 * i))
            const values = new Float64Array(words.buffer)
            const times = new Float64Array(units.map((unit, i) => t0 + 1000 * i))
            graph.traces = [{ "x": times, "y": values, "mode": "lines", "name": "Raw",
                              "line": { "color": "#fff" } }]
            graph.react()
            compare(chartData(graph)[0].y, Array.from(values))
        }

        function test_liveExtensionAddsOnlyNewPoints() {
            const graph = makeGraph()
            graph.extendTrace(points(10), "Combined Exposure", "")
            compare(graph.indicesToUpdate.length, 0, "an unknown trace is drawn whole")
            compare(chartData(graph)[0].x.length, 10)

            graph.extendTrace(points(10), "Combined Exposure", "")
            compare(graph.indicesToUpdate.length, 0, "nothing new, nothing queued")

            graph.extendTrace(points(14), "Combined Exposure", "")
            compare(graph.indicesToUpdate, [0])
            compare(graph.traces[0].x.length, 14)
            compare(chartData(graph)[0].x.length, 10, "queued, not yet sent")
            graph.extend()
            compare(graph.indicesToUpdate.length, 0)
            compare(graph.xDataToUpdate.length, 0)
            compare(graph.yDataToUpdate.length, 0)
            const data = chartData(graph)[0]
            compare(data.x.length, 14)
            compare(data.x[13], wallClock(t0 + 13 * 2000))
            fuzzyCompare(data.y[13], 13, 1e-9)
        }

        function test_extendMergesBatchesOfOneTrace() {
            const graph = makeGraph()
            graph.extendTrace(points(4), "Combined Exposure", "")
            graph.extendTrace(points(4, 0.02), "E-Field", "#035888")
            graph.extendTrace(points(6), "Combined Exposure", "")
            graph.extendTrace(points(7, 0.02), "E-Field", "#035888")
            graph.extendTrace(points(9), "Combined Exposure", "")
            compare(graph.indicesToUpdate, [0, 1, 0])
            graph.extend()
            const data = chartData(graph)
            compare(data.map(t => t.x.length), [9, 7], "no batch lost")
            compare(data[0].x, points(9).map(p => wallClock(p.x)), "batches in queue order")
            compare(data[1].x, points(7).map(p => wallClock(p.x)))
            fuzzyCompare(data[1].y[6], 12, 1e-9)
        }

        function test_ticksInQuickSuccessionLoseNothing() {
            const graph = makeGraph()
            graph.extendTrace(points(4), "Combined Exposure", "")
            for (let n = 6; n <= 12; n += 2) {
                graph.extendTrace(points(n), "Combined Exposure", "")
                graph.extend()
            }
            tryCompare(graph.indicesToUpdate, "length", 0, 20000)
            compare(chartData(graph)[0].x, points(12).map(p => wallClock(p.x)))
        }

        function test_replotDropsQueuedBatches() {
            const graph = makeGraph()
            graph.extendTrace(points(4), "Combined Exposure", "")
            graph.extendTrace(points(6), "Combined Exposure", "")
            graph.react()
            graph.extend()
            compare(chartData(graph)[0].x.length, 6, "points drawn once")

            // A re-plot too long for one turn reaches the page before what follows it.
            const lengthy = points(400000)
            graph.clearPlot()
            graph.addTrace(lengthy, "Combined Exposure", "", false)
            graph.addTrace(points(400000, 0.02), "E-Field", "#035888", false)
            graph.react()
            lengthy.push({ "x": t0 + 400000 * 2000, "y": 0.5 })
            graph.extendTrace(lengthy, "Combined Exposure", "")
            graph.extend()
            tryVerify(() => page(graph, "document.getElementById('chart').data.map(t => t.x.length)"
                                 + ".join()") === "400001,400000", 60000)
            const last = page(graph, "(function () { var t = document.getElementById('chart').data;"
                              + " return [t[0].x[400000], t[0].y[400000], t[1].y[399999]]; })()")
            compare(last[0], wallClock(t0 + 400000 * 2000))
            // Across minutes, hours and days the texts stay those of each time.
            const edges = [29, 30, 1799, 1800, 21599, 21600, 64800]
            compare(page(graph, "(function () { var x = document.getElementById('chart').data[1].x;"
                          + " return [" + edges.map(i => "x[" + i + "]").join(",") + "]; })()"),
                    edges.map(i => wallClock(t0 + i * 2000)))
            fuzzyCompare(last[1], 50, 1e-9)
            fuzzyCompare(last[2], 0.02 * 399999 * 100, 1e-6)
        }

        function test_sharedTimesStayApart() {
            // Series of one session share their times, and the page converts them
            // once; extending one trace must not lengthen another.
            const graph = makeGraph()
            graph.addTrace(points(5), "Combined Exposure", "", false)
            graph.addTrace(points(5, 0.02), "E-Field", "#035888", false)
            graph.addTrace(points(3), "H-Field", "#d43f3a", false)
            graph.react()
            let data = chartData(graph)
            compare(data.map(t => t.x.length), [5, 5, 3])
            compare(data[1].x, points(5).map(p => wallClock(p.x)))
            fuzzyCompare(data[1].y[4], 8, 1e-9)
            graph.extendTrace(points(8), "Combined Exposure", "")
            graph.extend()
            data = chartData(graph)
            compare(data.map(t => t.x.length), [8, 5, 3])
            // A re-plot after the extension sends the longer list, not the text
            // made when the trace was added.
            graph.react()
            compare(chartData(graph).map(t => t.x.length), [8, 5, 3])
            compare(chartData(graph)[0].x[7], wallClock(t0 + 7 * 2000))

            // Sessions chosen in turn, one again: each drawn with its own
            // lists, also where two agree at their ends and middle; the page
            // keeps the lists of a few sessions, not of all.
            const session = k => points(5).map((p, i) => ({ "x": p.x + (i % 2) * k * 1000,
                                                            "y": p.y + (i % 2) * k * 0.01 }))
            for (const k of [1, 2, 1, 3, 4, 5, 6, 2]) {
                graph.clearPlot()
                graph.addTrace(session(k), "Combined Exposure", "", false)
                graph.react()
                data = chartData(graph)[0]
                compare(data.x, session(k).map(p => wallClock(p.x)))
                compare(data.y.map(Math.round), session(k).map(p => Math.round(p.y * 100)))
            }
            verify(page(graph, "Object.keys(plotLists).length") <= 6, "lists of three sessions")

            // A trace switched off and on again is drawn from what the page holds.
            const eField = session(2).map(p => ({ "x": p.x, "y": p.y + 0.5 }))
            graph.addTrace(eField, "E-Field", "#035888", true)
            const held = page(graph, "Object.keys(plotLists).join()")
            graph.removeTrace("E-Field", true)
            graph.addTrace(eField, "E-Field", "#035888", true)
            compare(page(graph, "Object.keys(plotLists).join()"), held)
            data = chartData(graph)[1]
            compare(data.x, eField.map(p => wallClock(p.x)))
            compare(data.y.map(Math.round), eField.map(p => Math.round(p.y * 100)))
        }

        function test_notesStackAndGo() {
            const graph = makeGraph({ "annotationFontPointSize": 13 })
            graph.addTextAnnotation("6min", "6 min", "#34e8eb")
            graph.addTextAnnotation("30min", "30 min", "#8f34eb")
            compare(graph.annotations.map(a => a.y), [1, 0.97])
            compare(graph.annotations[1].font, { "size": 13, "color": "#8f34eb" })
            compare(graph.layout.annotations, graph.annotations)
            let notes = page(graph, "document.getElementById('chart').layout.annotations")
            compare(notes.map(a => a.text), ["6 min", "30 min"])
            compare(notes.map(a => a.xref + a.yref + a.align + a.showarrow), ["paperpaperleftfalse",
                                                                             "paperpaperleftfalse"])

            // A known name changes nothing but the page is laid out again.
            graph.resetLayout()
            const revision = graph.layout.uirevision
            verify(revision >= 1 && revision <= 100)
            graph.addTextAnnotation("6min", "other", "#000")
            compare(graph.annotations.length, 2)
            compare(graph.annotations[0].text, "6 min")
            compare(page(graph, "document.getElementById('chart').layout.annotations.length"), 2)
            compare(page(graph, "document.getElementById('chart').layout.uirevision"), revision)

            graph.removeTextAnnotation("6min")
            compare(graph.annotations.map(a => [a.name, a.y]), [["30min", 1]])
            compare(graph.layout.uirevision, 1)
            notes = page(graph, "document.getElementById('chart').layout.annotations")
            compare(notes.map(a => [a.text, a.y]), [["30 min", 1]])

            // A screen change re-sizes the notes and re-plots.
            graph.annotationFontPointSize = 20
            graph.addTrace(points(3), "Combined Exposure", "", false)
            mainWindow.screenChanged()
            compare(page(graph, "document.getElementById('chart').layout.annotations[0].font.size"), 20)
            compare(chartData(graph).length, 1)
        }

        function test_layoutFollowsItsInputs() {
            const graph = makeGraph({ "axisFontPointSize": 14.9, "plotTitle": "First" })
            verify(Number.isInteger(graph.axisFontPointSize))
            compare(graph.layout.xaxis.tickfont.size, graph.axisFontPointSize)
            compare(graph.defaultColour, "#ff6a00")
            graph.resetLayout()
            graph.layout.uirevision = 55
            graph.plotTitle = "Percentage of Public Exposure Limit"
            compare(graph.layout.uirevision, 1, "rebuilt")
            graph.react()
            const layout = page(graph, "document.getElementById('chart').layout")
            compare(layout.title.text, "Percentage of Public Exposure Limit")
            compare(layout.yaxis.range, [0, 200])
            compare(layout.legend.itemclick, false)
        }

        function test_overlays() {
            const graph = makeGraph()
            const state = "['chart', 'noData', 'loadingBlock'].map(id => {"
                + " const s = document.getElementById(id).style; return s.visibility + '/' + s.display; })"
            compare(page(graph, state), ["/", "/", "/"])
            graph.addTrace(points(3), "Combined Exposure", "", false)
            graph.addTextAnnotation("6min", "6 min", "#34e8eb")
            graph.showNoDataBlock()
            compare(graph.traces.length, 0)
            compare(graph.annotations.length, 0)
            compare(page(graph, state), ["hidden/", "/block", "/none"])
            compare(page(graph, "getComputedStyle(document.getElementById('noData')).position"),
                    "absolute")

            graph.addTrace(points(3), "Combined Exposure", "", false)
            graph.showChartLoading()
            compare(graph.traces.length, 0)
            compare(page(graph, state), ["visible/", "/none", "/block"])
            graph.react()
            compare(page(graph, state), ["visible/", "/none", "/none"])

            // Notes sent under the loading overlay still reach the page.
            graph.showChartLoading()
            graph.addTextAnnotation("30min", "30 min", "#8f34eb")
            graph.hideLoading()
            compare(page(graph, "document.getElementById('chart').layout.annotations.map(a => a.text)"),
                    ["30 min"])

            graph.showNoDataBlock()
            graph.addTrace(points(3), "Combined Exposure", "", false)
            graph.showChart()
            compare(graph.traces.length, 1)
            compare(page(graph, state), ["visible/", "/none", "/none"])
        }

        // Calls made while the page loads, as the data screen makes them for a
        // session chosen then: the page draws what the element holds by the
        // end of the load, as if they had been made after it.
        function test_callsWhileThePageLoads_data() {
            const older = graph => {
                graph.resetLayout()
                graph.showChartLoading()
                graph.clearPlot()
                graph.addTrace(points(6), "Combined Exposure", "", false)
                graph.addTrace(points(6, 0.02), "6 Min Average", "#34e8eb", false)
                graph.addTextAnnotation("6min", "6 min", "#34e8eb")
                graph.react()
            }
            return [
                { tag: "older session", calls: older, names: ["Combined Exposure", "6 Min Average"],
                  lengths: [6, 6], notes: ["6 min"], overlays: ["visible/", "/none", "/none"] },
                { tag: "two sessions, the second replaces the first",
                  calls: graph => {
                      older(graph)
                      graph.resetLayout()
                      graph.showChartLoading()
                      graph.clearPlot()
                      graph.addTrace(points(4), "Combined Exposure", "", false)
                      graph.react()
                  },
                  names: ["Combined Exposure"], lengths: [4], notes: [],
                  overlays: ["visible/", "/none", "/none"] },
                { tag: "live session",
                  calls: graph => {
                      graph.clearPlot()
                      graph.resetLayout()
                      graph.showChart()
                      graph.extendTrace(points(5), "Combined Exposure", "")
                      graph.extendTrace(points(3, 0.02), "E-Field", "#035888")
                      graph.addTextAnnotation("30min", "30 min", "#8f34eb")
                      graph.extend()
                      graph.extendTrace(points(7), "Combined Exposure", "")
                      graph.extend()
                  },
                  names: ["Combined Exposure", "E-Field"], lengths: [7, 3], notes: ["30 min"],
                  overlays: ["visible/", "/none", "/none"] },
                { tag: "session without points",
                  calls: graph => {
                      older(graph)
                      graph.showNoDataBlock()
                  },
                  names: [], lengths: [], notes: [], overlays: ["hidden/", "/block", "/none"] },
                { tag: "every call",
                  calls: graph => {
                      graph.addTrace(points(3), "Combined Exposure", "", false)
                      graph.addTextAnnotation("6min", "6 min", "#34e8eb")
                      graph.clearPlot()
                      graph.showNoDataBlock()
                      graph.showChartLoading()
                      graph.extendTrace(points(5), "Combined Exposure", "")
                      graph.extendTrace(points(5), "E-Field", "")
                      graph.extend()
                  },
                  names: ["Combined Exposure", "E-Field"], lengths: [5, 5], notes: [],
                  overlays: ["visible/", "/none", "/none"] },
            ]
        }

        function test_callsWhileThePageLoads(data) {
            const graph = createTemporaryObject(graphComponent, host)
            verify(!pageLoaded(graph))
            data.calls(graph)
            compare(graph.traces.map(t => t.name), data.names)
            compare(graph.indicesToUpdate.length, 0)
            tryVerify(() => pageLoaded(graph), 60000)
            const drawn = chartData(graph)
            compare(drawn.map(t => t.name), data.names)
            compare(drawn.map(t => t.x.length), data.lengths, "every point drawn once")
            if (drawn.length > 0)
                compare(drawn[0].x, points(data.lengths[0]).map(p => wallClock(p.x)))
            compare(page(graph, "document.getElementById('chart').layout.annotations.map(a => a.text)"),
                    data.notes)
            compare(page(graph, "['chart', 'noData', 'loadingBlock'].map(id => {"
                         + " const s = document.getElementById(id).style;"
                         + " return s.visibility + '/' + s.display; })"), data.overlays)
        }

        function test_imageFiles() {
            const graph = makeGraph()
            graph.addTrace(points(50), "Combined Exposure", "", true)

            const png = tempFile("plot.png"), jpeg = tempFile("plot.jpeg"), svg = tempFile("plot.svg")
            image(graph, png)
            image(graph, jpeg, "jpeg")
            image(graph, svg, "svg")
            compare(savedSpy.count, 3)
            compare(imageSize(png), [1920, 1080])
            compare(imageSize(jpeg), [1920, 1080])
            verify(readText(svg).startsWith("<svg"))
            compare(errorSpy.count, 0)
            compare(page(graph, "document.getElementById('imageData').textContent"), "",
                    "the slot is emptied after the hand-over")
        }

        function test_clipboardCopyAndTimeOut() {
            const graph = makeGraph()
            graph.addTrace(points(20), "Combined Exposure", "", true)
            verify(image(graph, "").startsWith("data:image/png;base64,"))
            compare(clipboard.imageCount, 1)
            compare(savedSpy.count, 0)

            graph.generateImage("jpg")
            graph.waitForImageAndSaveCopy("", 5)
            tryCompare(errorSpy, "count", 1, 10000)
            compare(errorSpy.signalArguments[0][0], "Image generation timed out after 5 attempts.")
            verify(String(page(graph, "document.getElementById('lastError').textContent")).length > 0)

            graph.waitForImageAndSaveCopy("", 0)
            tryCompare(errorSpy, "count", 2, 10000)
            compare(errorSpy.signalArguments[1][0], "Image generation timed out after 0 attempts.")
            compare(clipboard.imageCount, 1)
        }

        function test_imageAskedForWhileThePageLoads_data() {
            return [{ tag: "Save IMG", file: "early.png", colours: ["#00ff00"] },
                    { tag: "Copy IMG, chosen twice", file: "", colours: ["#ff00ff", "#00ff00"] }]
        }

        function test_imageAskedForWhileThePageLoads(data) {
            const graph = createTemporaryObject(graphComponent, host)
            const view = findChild(graph, "webView")
            const scriptErrors = []
            view.javaScriptConsoleMessage.connect((level, message) => {
                if (level === WebEngineView.ErrorMessageLevel)
                    scriptErrors.push(message)
            })
            savedSpy.target = graph.plotSaver
            errorSpy.target = graph.plotSaver
            savedSpy.clear()
            errorSpy.clear()
            clipboard.clear()
            verify(!pageLoaded(graph))

            data.colours.forEach(colour => choose(graph, colour))
            const png = data.file && tempFile(data.file)
            // A direct hand-off attempt on the empty page finds nothing.
            graph.getImageUrlAndSaveCopy("")
            const shot = image(graph, png)
            verify(colourPixels(shot, "#00ff00") > 1000, "the trace is in the image")
            compare(colourPixels(shot, "#ff00ff"), 0, "the session replaced is not")
            compare(errorSpy.count, 0)
            clipboard.clear()

            // A wait on its own, before any render, times out rather than hanging.
            const other = createTemporaryObject(graphComponent, host)
            errorSpy.target = other.plotSaver
            errorSpy.clear()
            other.waitForImageAndSaveCopy("", 3)
            tryCompare(errorSpy, "count", 1, 60000)
            compare(errorSpy.signalArguments[0][0], "Image generation timed out after 3 attempts.")
            compare(clipboard.imageCount, 0)
            compare(scriptErrors, [])
        }

        // A waiting image ends with an error (the saves behind it run) and the
        // page comes back with the session, unless its renderer keeps ending.
        function test_rendererEnds_data() {
            return [{ tag: "nothing asked", file: null, kills: 1 },
                    { tag: "during Copy IMG", file: "", kills: 1 },
                    { tag: "during Save IMG, twice in a row", file: "dying.png", kills: 2 },
                    { tag: "three times in a row", file: "", kills: 3 }]
        }

        function test_rendererEnds(data) {
            const graph = makeGraph()
            const view = findChild(graph, "webView")
            let stops = 0, deaths = 0
            graph.stoppedForGood.connect(() => ++stops)
            view.renderProcessTerminated.connect(() => ++deaths)
            choose(graph, "#00ff00")
            graph.showChart()
            if (data.file !== null) {
                graph.generateImage("png")
                graph.waitForImageAndSaveCopy(data.file && tempFile(data.file))
            }
            for (let k = 1; k <= data.kills; ++k) {
                const pid = view.renderProcessPid
                verify(processes.endRenderer(pid), "renderer " + pid + " ended")
                // The next one as soon as the new page's renderer is there.
                tryVerify(() => deaths === k && (k === data.kills
                                                 || ![0, pid].includes(view.renderProcessPid)), 30000)
            }
            tryCompare(errorSpy, "count", data.file === null ? 0 : 1, 30000)
            if (data.kills < 3) {
                verify(colourPixels(image(graph, data.file ? tempFile("after.png") : ""), "#00ff00") > 1000)
                compare(page(graph, "document.getElementById('chart').style.visibility"), "visible")
                return
            }
            tryVerify(() => stops === 1, 30000, "one notice")
            graph.generateImage("png")
            graph.waitForImageAndSaveCopy(tempFile("down.png"))
            compare(errorSpy.count, 2, "an image asked now ends at once")
        }

        function test_lateImageIsDropped() {
            const graph = makeGraph()
            graph.addTrace(points(20), "Combined Exposure", "", true)
            graph.generateImage("png")
            graph.waitForImageAndSaveCopy("", 0)
            tryCompare(errorSpy, "count", 1, 10000)
            wait(3000) // the render finishes after its request was given up
            compare(page(graph, "document.getElementById('imageData').textContent"), "")

            graph.generateImage("jpg")
            graph.waitForImageAndSaveCopy("", 30)
            tryCompare(errorSpy, "count", 2, 10000)
            compare(clipboard.imageCount, 0, "no stale image handed over")
        }

        function test_imageRequestsAreServedInTurn() {
            // A second request made before the first image is ready waits for
            // it; neither is dropped.
            const graph = makeGraph()
            graph.addTrace(points(20), "Combined Exposure", "", true)
            const png = tempFile("first.png")
            const svg = tempFile("second.svg")
            graph.generateImage("png")
            graph.waitForImageAndSaveCopy(png)
            graph.generateImage("png")
            graph.waitForImageAndSaveCopy()
            graph.generateImage("svg")
            graph.waitForImageAndSaveCopy(svg)
            tryCompare(savedSpy, "count", 2, 30000)
            tryCompare(clipboard, "imageCount", 1, 30000)
            compare(errorSpy.count, 0)
            compare(imageSize(png), [1920, 1080])
            verify(clipboard.imageData.startsWith("data:image/png;base64,"))
            verify(readText(svg).startsWith("<svg"))

            // The view going while requests wait (the instrument unplugged):
            // each accepted one still ends, here with its error.
            const closing = makeGraph()
            closing.addTrace(points(20), "Combined Exposure", "", true)
            closing.generateImage("png")
            closing.waitForImageAndSaveCopy(tempFile("closing.png"))
            closing.generateImage("png")
            closing.waitForImageAndSaveCopy()
            closing.generateImage("svg")
            closing.destroy()
            tryCompare(errorSpy, "count", 2, 10000)
            verify(errorSpy.signalArguments.every(a => a[0] === "Plot closed before the image was ready."))
            compare(savedSpy.count, 0)
            compare(clipboard.imageCount, 0)
        }

        function test_callerTextCannotInjectScript() {
            const hostile = "</script><script>window.injected = 1</script>\"'); window.injected = 2; ('"
            const graph = makeGraph({ "plotTitle": hostile })
            compare(page(graph, "document.getElementById('chart').layout.title.text"), hostile)
            graph.addTrace(points(3), hostile, hostile, false)
            graph.addTrace(points(3), "E-Field", "red\"); window.injected = 3; (\"", false)
            graph.react()
            graph.addTextAnnotation(hostile, hostile, hostile)
            graph.extendTrace(points(5), hostile, "")
            graph.extend()
            graph.removeTextAnnotation("x\"); window.injected = 4; (\"")
            graph.generateImage("png\"); window.injected = 5; (\"")
            const data = chartData(graph)
            compare(data[0].name, hostile)
            compare(data[0].x.length, 5)
            compare(page(graph, "document.getElementById('chart').layout.annotations[0].text"), hostile)
            compare(page(graph, "typeof window.injected"), "undefined")
        }
    }
}
