import QtQuick
import QtTest
import Elements

// A point at 12:00 UTC drawn in the machine's zone: the axis reads the
// wall-clock time of the given zone.
TestCase {
    id: zoneCase

    property string expectedClock
    property real expectedOffsetHours
    property Item host

    when: windowShown

    Component {
        id: graphComponent
        PlotlyGraph {}
    }

    function test_wallClockOnTheAxis() {
        const noon = Date.UTC(2025, 2, 1, 12, 0, 0)
        compare(-new Date().getTimezoneOffset() / 60, expectedOffsetHours, "zone of this run")

        const graph = createTemporaryObject(graphComponent, host)
        const converted = graph.mapXToDateTime([{ "x": noon, "y": 0.5 }, { "x": noon + 1000, "y": 1 }])
        compare(converted.map(d => d.toISOString()),
                ["2025-03-01T" + expectedClock + ":00.000Z", "2025-03-01T" + expectedClock + ":01.000Z"])
        compare(graph.mapYToPercentage([{ "x": noon, "y": 0.4567 }])[0], 0.4567 * 100)

        const view = findChild(graph, "webView")
        tryVerify(() => !view.loading && String(view.url).startsWith("data:"), 60000)
        graph.addTrace([{ "x": noon, "y": 0.5 }], "Combined Exposure", "", true)
        let answer
        view.runJavaScript("document.getElementById('chart').data[0].x[0]", r => answer = r)
        tryVerify(() => answer !== undefined, 20000)
        compare(answer, "2025-03-01T" + expectedClock + ":00.000Z")
    }
}
