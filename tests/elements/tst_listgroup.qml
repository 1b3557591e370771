import QtQuick
import QtTest
import Elements

Item {
    id: host
    width: 400
    height: 600

    Component {
        id: groupComponent
        ListGroup {
            width: 300
            height: 500
        }
    }

    // Items as the program's entries are: objects whose identity survives
    // a model replacement.
    Component {
        id: entryObject
        QtObject {
            property bool valid: true
            property int type: 1
            property bool loading: false
            property string timeString
            property string dateString: "d"
        }
    }

    SignalSpy {
        id: selectedSpy
        signalName: "selected"
    }

    function entry(time, date, extra) {
        const e = { valid: true, type: 1, loading: false, timeString: time, dateString: date }
        for (const key in extra)
            e[key] = extra[key]
        return e
    }

    function find(item, predicate) {
        if (predicate(item))
            return item
        for (let i = 0; i < item.children.length; ++i) {
            const found = find(item.children[i], predicate)
            if (found)
                return found
        }
        return null
    }

    TestCase {
        name: "ListGroup"
        when: windowShown

        function listOf(group) {
            return find(group, i => i.selectionActive !== undefined)
        }

        function rowLabel(row) {
            return find(row, i => i.text !== undefined && i.font !== undefined && i.width !== row.width
                              && (i.text === "Current" || i.text === row.text))
        }

        function headings(list) {
            const found = []
            const items = list.contentItem.children
            for (let i = 0; i < items.length; ++i) {
                const item = items[i]
                if (item.visible && item.selected === undefined && item.children.length === 1
                        && item.children[0].text !== undefined)
                    found.push(item)
            }
            return found.sort((a, b) => a.y - b.y).map(h => h.children[0].text)
        }

        function init() {
            selectedSpy.clear()
        }

        function test_sampleModelShowsSpinners() {
            const group = createTemporaryObject(groupComponent, host)
            const list = listOf(group)
            compare(group.index, -1)
            compare(list.count, 3)
            tryVerify(() => list.itemAtIndex(2) !== null)
            for (let i = 0; i < 3; ++i)
                verify(list.itemAtIndex(i).loading, "sample rows have no loading value")
            compare(headings(list), ["14-08-2015", "15-08-2015"])
        }

        function test_sectionsByWholeDateString() {
            const group = createTemporaryObject(groupComponent, host)
            group.model = [entry("10:00", "01-01-2026"), entry("09:00", "01-01-2026"),
                           entry("08:00", "02-01-2026"), entry("07:00", "01-01-2026")]
            const list = listOf(group)
            tryVerify(() => list.itemAtIndex(3) !== null)
            compare(headings(list), ["01-01-2026", "02-01-2026", "01-01-2026"])
            const items = list.contentItem.children
            for (let i = 0; i < items.length; ++i) {
                if (items[i].selected === undefined && items[i].children.length === 1) {
                    const text = items[i].children[0]
                    compare(items[i].height, Math.round(1.5 * text.implicitHeight))
                    compare(items[i].width, list.width)
                    verify(Qt.colorEqual(text.color, "white"))
                    compare(text.font.pointSize, 12)
                }
            }
        }

        function test_currentRowAndLabels() {
            const group = createTemporaryObject(groupComponent, host)
            group.model = [entry("10:00", "d"), entry("09:00", "d")]
            const list = listOf(group)
            tryVerify(() => list.itemAtIndex(1) !== null)
            compare(rowLabel(list.itemAtIndex(0)).text, "Current")
            compare(rowLabel(list.itemAtIndex(1)).text, "09:00")
            compare(list.itemAtIndex(0).width, list.width - 8)
        }

        function test_iconsByKindAndValidity() {
            const group = createTemporaryObject(groupComponent, host)
            group.model = [entry("a", "d"), entry("b", "d", { type: 2 }), entry("c", "d", { type: 7 }),
                           entry("e", "d", { valid: false })]
            const list = listOf(group)
            tryVerify(() => list.itemAtIndex(3) !== null)
            compare(list.itemAtIndex(0).icon, awesome.icons.fa_wifi)
            compare(list.itemAtIndex(1).icon, awesome.icons.fa_volume_up)
            compare(list.itemAtIndex(2).icon, awesome.icons.fa_question_circle)
            compare(list.itemAtIndex(3).icon, awesome.icons.fa_warning)
        }

        function test_clickSelectsAndSurvivesModelReplacement() {
            const group = createTemporaryObject(groupComponent, host)
            const first = [entry("10:00", "d"), entry("09:00", "d"), entry("08:00", "d")]
            group.model = first
            const list = listOf(group)
            tryVerify(() => list.itemAtIndex(2) !== null)

            // Before any click a new model leaves nothing selected.
            group.model = first.slice()
            compare(group.index, -1)

            const row = list.itemAtIndex(2)
            selectedSpy.target = row
            let indexSeen = -2
            const seen = () => { indexSeen = group.index }
            row.selected.connect(seen)
            mouseClick(row)
            compare(selectedSpy.count, 1)
            compare(selectedSpy.signalArguments[0][0], 2)
            compare(selectedSpy.signalArguments[0][1].timeString, "08:00")
            compare(indexSeen, 2)
            compare(group.index, 2)
            compare(group.currentItem, row)

            // Items all new: the row number is kept.
            group.model = [entry("11:00", "d"), entry("10:00", "d"), entry("09:00", "d"), entry("08:00", "d")]
            compare(group.index, 2)
            tryVerify(() => list.itemAtIndex(2) !== null)
            compare(group.currentItem.context.timeString, "09:00")

            // The clicked item itself, in a list that grew above it: the
            // highlight stays with it, also through the next replacement.
            const kept = ["10:00", "09:00"].map(t => createTemporaryObject(entryObject, host, { timeString: t }))
            group.model = kept
            tryVerify(() => list.itemAtIndex(1) !== null)
            mouseClick(list.itemAtIndex(1))
            group.model = [createTemporaryObject(entryObject, host, { timeString: "11:00" })].concat(kept)
            compare(group.index, 2)
            group.model = ["12:00", "11:00"].map(t => createTemporaryObject(entryObject, host, { timeString: t })).concat(kept)
            compare(group.index, 3)
            tryVerify(() => list.itemAtIndex(3) !== null)
            compare(group.currentItem.context.timeString, "09:00")

            const top = list.itemAtIndex(0)
            mouseClick(top)
            group.model = [entry("12:00", "d"), entry("11:00", "d")]
            compare(group.index, 0)
        }

        function test_clickOnCurrentRowEmitsAgain() {
            const group = createTemporaryObject(groupComponent, host)
            group.model = [entry("10:00", "d"), entry("09:00", "d")]
            const list = listOf(group)
            tryVerify(() => list.itemAtIndex(1) !== null)
            const row = list.itemAtIndex(1)
            selectedSpy.target = row
            mouseClick(row)
            mouseClick(row)
            compare(selectedSpy.count, 2)
        }

        function test_rowColours() {
            const group = createTemporaryObject(groupComponent, host)
            group.model = [entry("10:00", "d"), entry("09:00", "d")]
            const list = listOf(group)
            tryVerify(() => list.itemAtIndex(1) !== null)
            const row = list.itemAtIndex(1)
            const background = find(row, i => i.contentColour !== undefined)
            verify(Qt.colorEqual(background.color, "#444"))
            verify(Qt.colorEqual(background.contentColour, "#f6861f"))
            mouseMove(row, 5, 5)
            tryVerify(() => Qt.colorEqual(background.color, "#FFB060"))
            verify(Qt.colorEqual(background.contentColour, "#000"))
            mouseClick(row, 5, 5)
            verify(Qt.colorEqual(background.color, "#f6861f"))
            mouseMove(host, host.width - 1, host.height - 1)
            tryVerify(() => Qt.colorEqual(background.contentColour, "#000"))
            verify(Qt.colorEqual(background.color, "#f6861f"))
        }

        function test_loadingRowShowsSpinner() {
            const group = createTemporaryObject(groupComponent, host)
            const loadingEntry = entry("10:00", "d", { loading: true })
            group.model = [loadingEntry, entry("09:00", "d")]
            const list = listOf(group)
            tryVerify(() => list.itemAtIndex(1) !== null)
            const loadingRow = list.itemAtIndex(0)
            const idleRow = list.itemAtIndex(1)
            const spinnerOf = row => find(row, i => i.active !== undefined && i.duration !== undefined)
            verify(spinnerOf(loadingRow).visible)
            compare(spinnerOf(loadingRow).duration, 3000)
            verify(spinnerOf(loadingRow).active)
            verify(!spinnerOf(idleRow).visible)
            const iconOf = row => find(row, i => i.text === row.icon && i !== row)
            verify(!iconOf(loadingRow).visible)
            verify(iconOf(idleRow).visible)
        }

        function test_emptyModelAndScrollBar() {
            const group = createTemporaryObject(groupComponent, host)
            const list = listOf(group)
            const bar = find(group, i => i.stepSize !== undefined && i.policy !== undefined)
            group.model = []
            compare(list.count, 0)
            compare(group.index, -1)
            compare(headings(list), [])
            verify(!bar.visible)
            compare(bar.stepSize, 0.05)
            compare(bar.width, 8)

            const many = []
            for (let i = 0; i < 60; ++i)
                many.push(entry("t" + i, "d" + Math.floor(i / 5)))
            group.model = many
            tryVerify(() => bar.visible)
        }

        function test_scrollBarThreshold() {
            const group = createTemporaryObject(groupComponent, host)
            const list = listOf(group)
            const bar = find(group, i => i.stepSize !== undefined && i.policy !== undefined)
            group.model = [entry("a", "d"), entry("b", "d"), entry("c", "d")]
            tryVerify(() => list.contentHeight > 0)
            const content = list.contentHeight
            group.height = content - 1
            verify(!bar.visible)
            group.height = content - 1.5
            verify(bar.visible)
        }
    }
}
