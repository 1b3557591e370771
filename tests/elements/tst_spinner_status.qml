import QtQuick
import QtTest
import FontAwesome
import Elements

Item {
    id: host
    width: 400
    height: 300

    Component {
        id: spinnerComponent
        Spinner {}
    }
    Component {
        id: statusComponent
        StatusEntry {}
    }
    Component {
        id: headerComponent
        SectionHeader {}
    }

    TestCase {
        name: "SpinnerStatusHeader"
        when: windowShown

        function test_spinnerDefaults() {
            const spinner = createTemporaryObject(spinnerComponent, host)
            const glyph = spinner.children[0]
            compare(spinner.icon, Variables.fa_circle_o_notch)
            verify(Qt.colorEqual(glyph.color, "#000"))
            compare(spinner.active, false)
            compare(spinner.duration, 5000)
            verify(glyph.width > 0)
            compare(spinner.width, glyph.width)
            compare(spinner.height, glyph.height)
            wait(100)
            compare(glyph.rotation, 0)

            spinner.fontPointSize = 40
            compare(spinner.width, glyph.width)
            verify(spinner.height > 30)
        }

        function test_spinnerTurnsClockwiseAndStops() {
            const spinner = createTemporaryObject(spinnerComponent, host, { duration: 3000 })
            const glyph = spinner.children[0]
            spinner.active = true
            wait(600)
            const turned = glyph.rotation
            verify(turned > 0 && turned < 360, "rotation " + turned)
            spinner.active = false
            const stopped = glyph.rotation
            wait(200)
            compare(glyph.rotation, stopped)
            spinner.active = true
            verify(glyph.rotation < stopped)
            spinner.active = false
        }

        function test_statusEntryGeometry() {
            const entry = createTemporaryObject(statusComponent, host, { text: "Playing", statusColor: "green" })
            const row = entry.children[0]
            const dot = row.children[0]
            const label = row.children[1]
            compare(entry.height, 18)
            compare(dot.width, 14)
            compare(dot.height, 14)
            compare(dot.y, 2)
            compare(dot.radius, 7)
            verify(Qt.colorEqual(dot.color, "green"))
            compare(label.font.pixelSize, 12)
            verify(label.font.bold)
            tryCompare(label, "x", 19)
            compare(entry.width, label.width + 24)

            entry.height = 30
            compare(dot.width, 26)
            compare(label.font.pixelSize, 24)
        }

        function test_statusEntryEmptyText() {
            const entry = createTemporaryObject(statusComponent, host)
            compare(entry.width, 24)
        }

        function test_sectionHeader() {
            const header = createTemporaryObject(headerComponent, host)
            const heading = header.children[0]
            compare(header.text, "PLACEHOLDER")
            verify(header.font.bold)
            verify(Qt.colorEqual(header.color, "#111"))
            verify(Qt.colorEqual(heading.color, "white"))
            compare(header.width, host.width)
            fuzzyCompare(header.height, heading.height * 1.5, 1e-6)

            const small = header.height
            header.font.pointSize = 30
            verify(header.font.bold)
            verify(header.height > small)
            fuzzyCompare(header.height, heading.height * 1.5, 1e-6)

            header.text = "A heading far longer than the bar it sits in, which does not wrap"
            header.width = 100
            verify(heading.width > 100)
            fuzzyCompare(heading.x, (100 - heading.width) / 2, 1e-6)
        }
    }
}
