import QtQuick
import QtQuick.Window
import Elements

// Drives the plot view the way the field session screen does.
Window {
    id: window

    width: 1280
    height: 720
    visible: true

    property alias graph: plot
    readonly property var names: ["Combined Exposure", "E-Field", "H-Field", "6 Min Average",
                                  "30 Min Average"]
    readonly property var colours: ["#ff6a00", "#035888", "#d43f3a", "#34e8eb", "#8f34eb"]

    PlotlyGraph {
        id: plot
        axisFontPointSize: 12
        titleFontPointSize: 16
        legendFontPointSize: 12
        annotationFontPointSize: 12
    }

    function webView() {
        for (let i = 0; i < plot.children.length; ++i) {
            if (plot.children[i].objectName === "webView")
                return plot.children[i]
        }
        return undefined
    }

    function pageReady() {
        const view = webView()
        return view !== undefined && !view.loading && String(view.url).startsWith("data:")
    }

    function fullReplot(sources) {
        plot.resetLayout()
        plot.showChartLoading()
        plot.clearPlot()
        for (let i = 0; i < sources.length; ++i)
            plot.addTrace(sources[i].vertices, names[i], colours[i], false)
        plot.addTextAnnotation("6min", "6 min average", colours[3])
        plot.addTextAnnotation("30min", "30 min average", colours[4])
        plot.react()
    }

    function liveTick(sources) {
        plot.resetLayout()
        plot.showChart()
        for (let i = 0; i < sources.length; ++i)
            plot.extendTrace(sources[i].vertices, names[i], colours[i])
        plot.addTextAnnotation("6min", "6 min average", colours[3])
        plot.addTextAnnotation("30min", "30 min average", colours[4])
        plot.extend()
    }

    // Plotly's own share: the same five traces made inside the page as ISO
    // texts and drawn from there, with no hand-over at all. Answers the time
    // from Plotly.react to the frame after it through bench.drawn.
    function plotlyAlone(readings, token) {
        const view = webView()
        view.runJavaScript("window.benchAlone = ''; (function () {"
            + " var n = 2 * (" + readings + " - 1), start = 1780300800000, x = new Array(n);"
            + " for (var i = 0; i < n; ++i) x[i] = new Date(start + Math.floor(i / 2 + 1) * 2000).toISOString();"
            + " var list = [];"
            + " for (var t = 0; t < 5; ++t) { var y = new Array(n);"
            + "   for (var i = 0; i < n; ++i) y[i] = ((Math.floor(i / 2 + 1) * 7919 + t * 104729) % 15000) / 100;"
            + "   list.push({ x: x.slice(), y: y, mode: 'lines', name: 'T' + t,"
            + "               hovertemplate: '%{x}, %{y:.2f}%<extra></extra>' }); }"
            + " var chart = document.getElementById('chart');"
            + " var layout = Object.assign({}, chart.layout, { uirevision: Math.random() });"
            + " var t0 = performance.now();"
            + " Plotly.react(chart, list, layout);"
            + " requestAnimationFrame(function () { requestAnimationFrame(function () {"
            + "   window.benchAlone = String(Math.round(performance.now() - t0)); }); });"
            + " })();")
        const poll = function () {
            view.runJavaScript("window.benchAlone", function (result) {
                if (result)
                    bench.drawn(token, result)
                else
                    Qt.callLater(poll)
            })
        }
        poll()
    }

    // Answers once the page has run every script sent before and painted a
    // frame after them: the token comes back with the drawn point counts.
    function probe(token) {
        const view = webView()
        view.runJavaScript("window.benchDrawn = ''; requestAnimationFrame(function () {"
                           + " requestAnimationFrame(function () { window.benchDrawn = '" + token
                           + "'; }); });")
        const poll = function () {
            view.runJavaScript("window.benchDrawn === '" + token + "' ? "
                               + "document.getElementById('chart').data.map(t => t.x.length).join(',') : ''",
                               function (result) {
                                   if (result)
                                       bench.drawn(token, result)
                                   else
                                       Qt.callLater(poll)
                               })
        }
        poll()
    }
}
