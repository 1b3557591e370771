import QtQuick
import QtTest
import QVImports
import Elements

Item {
    id: host
    width: 600
    height: 400

    Component {
        id: scratchComponent
        SwitchFromScratch {
            property bool checkedSeenOnClick: false
            font.pointSize: 14
            onClicked: checkedSeenOnClick = checked
        }
    }
    Component {
        id: outsideComponent
        OutsideTextSwitch {}
    }
    Component {
        id: toggleComponent
        ToggleSwitch {}
    }

    function near(a, b, tolerance) {
        return Math.abs(a - b) <= (tolerance === undefined ? 1e-6 : tolerance)
    }

    // Compares a sampled pixel with a colour, allowing for rounding in the grab.
    function sameColour(pixel, expected) {
        const e = Qt.color(expected)
        return Math.abs(pixel.r - e.r) < 0.02 && Math.abs(pixel.g - e.g) < 0.02 && Math.abs(pixel.b - e.b) < 0.02
    }

    TestCase {
        name: "SwitchFromScratch"
        when: windowShown

        function parts(control) {
            const row = control.contentItem
            const track = row.children[1]
            return { label: row.children[0], track: track, handle: track.handle }
        }

        function test_geometryFollowsFont() {
            const control = createTemporaryObject(scratchComponent, host, { x: 10, y: 10, text: "E-field" })
            const p = parts(control)
            const T = 1.1 * p.label.implicitHeight
            verify(near(p.track.height, T))
            verify(near(p.track.width, 2 * T))
            verify(near(control.height, T))
            verify(near(control.width, 2 * T + p.label.implicitWidth + 8))
            verify(near(p.handle.width, 0.8 * T))
            compare(p.handle.x, 2)
            verify(near(p.handle.scale, 16 / 28))
            tryVerify(() => near(p.track.x, p.label.width + 8))
        }

        function test_emptyTextTakesNoRoom() {
            const control = createTemporaryObject(scratchComponent, host, { x: 10, y: 10, text: "" })
            const p = parts(control)
            const T = 1.1 * p.label.implicitHeight
            verify(T > 0)
            verify(near(control.width, 2 * T + 8))
            wait(0)
            compare(p.track.x, 0)
        }

        function test_clickTogglesAndAnimates() {
            const control = createTemporaryObject(scratchComponent, host, { x: 10, y: 10, text: "H" })
            const p = parts(control)
            const T = p.track.height
            mouseClick(control)
            verify(control.checked)
            verify(control.checkedSeenOnClick)
            compare(control.visualPosition, 1)
            tryVerify(() => near(p.handle.x, 1.2 * T - 2, 0.01), 1000)
            tryVerify(() => Qt.colorEqual(p.track.color, Constants.qvOrangeColour), 1000)
            verify(Qt.colorEqual(p.track.border.color, Constants.qvOrangeColour))
            tryVerify(() => near(p.handle.scale, 24 / 28), 1000)
            verify(Qt.colorEqual(p.handle.color, "#FFFFFF"))

            mouseClick(control)
            verify(!control.checked)
            verify(!control.checkedSeenOnClick)
            tryVerify(() => near(p.handle.x, 2, 0.01), 1000)
            tryVerify(() => Qt.colorEqual(p.track.color, "#E7E0EC"), 1000)
        }

        function test_pressedHandleIsFullSize() {
            const control = createTemporaryObject(scratchComponent, host, { x: 10, y: 10, text: "H" })
            const p = parts(control)
            mousePress(control)
            tryVerify(() => near(p.handle.scale, 1), 500)
            mouseRelease(control)
            tryVerify(() => near(p.handle.scale, 24 / 28), 500)
        }

        function test_disabledIgnoresClicks() {
            const control = createTemporaryObject(scratchComponent, host,
                                                  { x: 10, y: 10, text: "H", enabled: false, checked: true })
            const p = parts(control)
            mouseClick(control)
            verify(control.checked)
            verify(Qt.colorEqual(p.track.color, "#1E1C1B1F"))
            verify(Qt.colorEqual(p.handle.color, "#FFFBFE"))
            verify(Qt.colorEqual(p.label.color, "white"))
            control.checked = false
            tryVerify(() => Qt.colorEqual(p.track.color, "#1EE7E0EC"), 1000)
            verify(Qt.colorEqual(p.track.border.color, "#1E1C1B1F"))
            tryVerify(() => Qt.colorEqual(p.handle.color, "#611C1B1F"), 1000)
        }

        function test_initialCheckedShowsAtOnce() {
            const control = createTemporaryObject(scratchComponent, host, { x: 10, y: 10, text: "H", checked: true })
            const p = parts(control)
            verify(near(p.handle.x, 1.2 * p.track.height - 2))
            verify(Qt.colorEqual(p.track.color, Constants.qvOrangeColour))
            verify(!control.checkedSeenOnClick)
        }

        function test_hoverChangesOnlyTheHandle() {
            const control = createTemporaryObject(scratchComponent, host, { x: 10, y: 10, text: "H" })
            const p = parts(control)
            mouseMove(control, control.width - 4, control.height / 2)
            tryVerify(() => Qt.colorEqual(p.handle.color, "#545454"), 1000)
            verify(Qt.colorEqual(p.track.color, "#E7E0EC"))
            verify(Qt.colorEqual(p.track.border.color, "#757575"))
            mouseMove(host, host.width - 1, host.height - 1)
        }

        function test_drawnColours() {
            const control = createTemporaryObject(scratchComponent, host, { x: 10, y: 10, text: "" })
            const p = parts(control)
            const T = p.track.height
            waitForRendering(control)
            // A point of the free half of the track, clear of handle and border.
            let image = grabImage(control)
            verify(sameColour(image.pixel(Math.round(1.5 * T), Math.round(T / 2)), "#E7E0EC"))
            control.checked = true
            tryVerify(() => Qt.colorEqual(p.track.color, Constants.qvOrangeColour), 1000)
            tryVerify(() => near(p.handle.x, 1.2 * T - 2, 0.01), 1000)
            waitForRendering(control)
            image = grabImage(control)
            verify(sameColour(image.pixel(Math.round(0.4 * T), Math.round(T / 2)), Constants.qvOrangeColour))
            verify(sameColour(image.pixel(Math.round(1.6 * T), Math.round(T / 2)), "#FFFFFF"))
        }
    }

    TestCase {
        name: "OutsideTextSwitch"
        when: windowShown

        function test_trackInsideTheBoxTakesPresses() {
            const control = createTemporaryObject(outsideComponent, host, { x: 10, y: 10, text: "A B C" })
            const track = control.indicator
            verify(track.x >= 0)
            verify(track.x + track.width <= control.width)
            mouseClick(control, track.x + track.width / 2, track.y + track.height / 2)
            verify(control.checked)
            mouseClick(control, track.x + track.width / 2, track.y + track.height / 2)
            verify(!control.checked)
        }

        function test_handleDragsAlongTheTrack() {
            const control = createTemporaryObject(outsideComponent, host, { x: 10, y: 10, text: "Drag" })
            const track = control.indicator
            const handle = track.handle
            const y = track.y + track.height / 2
            const startX = track.x + handle.x + handle.width / 2
            mousePress(control, startX, y)
            for (let dx = 4; dx <= 16; dx += 4)
                mouseMove(control, startX + dx, y, -1, Qt.LeftButton)
            // While pressed the handle follows the pointer at once.
            verify(control.visualPosition > 0 && control.visualPosition < 1)
            verify(near(handle.x, control.visualPosition * track.width - handle.width / 2, 0.01))
            mouseMove(control, track.x + track.width, y, -1, Qt.LeftButton)
            mouseRelease(control, track.x + track.width, y)
            verify(control.checked)
            tryVerify(() => near(handle.x + handle.width, track.width - 2, 0.01), 1000)
        }

        function test_layoutBothWays() {
            const control = createTemporaryObject(outsideComponent, host, { x: 10, y: 10, text: "A B C" })
            const label = control.contentItem
            const track = control.indicator
            compare(track.width, 52)
            compare(track.height, 32)
            compare(label.x, 8)
            compare(track.x, label.x + label.width + 8)
            compare(control.width, label.implicitWidth + 52 + 8 + 16)
            verify(near(label.y + label.height / 2, control.height / 2, 0.5))
            verify(near(track.y + track.height / 2, control.height / 2, 0.5))
            compare(label.horizontalAlignment, Text.AlignLeft)

            control.textOnLeft = false
            compare(track.x + track.width, label.x - 8)
            compare(label.x + label.width, control.width - 8)
            compare(track.x, 8)
        }

        function test_emptyTextImplicitWidth() {
            const control = createTemporaryObject(outsideComponent, host, { text: "" })
            compare(control.implicitWidth, 8 + 8 + 8 + 52)
            compare(control.implicitHeight, 32 + 16)
        }

        function test_handlePositionsAndSizes() {
            const control = createTemporaryObject(outsideComponent, host, { x: 10, y: 10, text: "Opt in" })
            const handle = control.indicator.handle
            compare(handle.width, 28)
            compare(handle.x, 2)
            verify(near(handle.scale, 16 / 28))
            verify(Qt.colorEqual(control.indicator.color, "#E7E0EC"))
            verify(Qt.colorEqual(control.indicator.border.color, "#757575"))
            control.checked = true
            tryVerify(() => near(handle.x + handle.width, 52 - 2, 0.01), 1000)
            tryVerify(() => near(handle.scale, 24 / 28), 1000)
            tryVerify(() => Qt.colorEqual(control.indicator.color, Constants.qvOrangeColour), 1000)
            verify(Qt.colorEqual(control.indicator.border.color, Constants.qvOrangeColour))
        }

        function test_disabledColoursAndLabel() {
            const control = createTemporaryObject(outsideComponent, host,
                                                  { x: 10, y: 10, text: "Off", enabled: false, textColour: "yellow" })
            verify(Qt.colorEqual(control.indicator.color, "#1EE7E0EC"))
            verify(Qt.colorEqual(control.indicator.border.color, "#1E1C1B1F"))
            verify(Qt.colorEqual(control.indicator.handle.color, "#611C1B1F"))
            verify(Qt.colorEqual(control.contentItem.color, "yellow"))
            verify(Qt.colorEqual(control.icon.color, "#611C1B1F"))
            mouseClick(control, control.indicator.x + 26, control.indicator.y + 16)
            verify(!control.checked)
        }

        function test_iconEnlargesUncheckedHandle() {
            const control = createTemporaryObject(outsideComponent, host, { x: 10, y: 10, text: "Icon" })
            control.icon.name = "document-save"
            verify(control.indicator.handle.hasIcon)
            tryVerify(() => near(control.indicator.handle.scale, 24 / 28), 1000)
            compare(control.icon.width, 16)
            verify(Qt.colorEqual(control.icon.color, "#E7E0EC"))
        }

        function test_longLabelElides() {
            const control = createTemporaryObject(outsideComponent, host,
                                                  { x: 10, y: 10, text: "A label much longer than its box here" })
            control.width = 150
            verify(control.contentItem.truncated)
            verify(control.indicator.x + control.indicator.width <= control.width)
        }
    }

    TestCase {
        name: "ToggleSwitch"
        when: windowShown

        function trackText(control) {
            const items = control.indicator.children
            for (let i = 0; i < items.length; ++i)
                if (items[i].text !== undefined)
                    return items[i]
            return null
        }

        function test_positionsAndTexts() {
            const control = createTemporaryObject(toggleComponent, host, { x: 10, y: 10 })
            const track = control.indicator
            const text = trackText(control)
            verify(near(control.width, 0.9 * host.width))
            compare(track.width, control.width)
            verify(near(track.height, 2 * text.height))
            verify(near(track.handle.width, 0.8 * track.height))
            compare(track.handle.x, 2)
            compare(text.text, "OffText")
            verify(near(text.x + text.width, 0.9 * track.width))

            control.checked = true
            compare(text.text, "OnText")
            tryVerify(() => near(track.handle.x + track.handle.width, track.width - 2, 0.01), 1000)
            tryVerify(() => near(text.x, 0.1 * track.width, 0.01), 1000)
            verify(Qt.colorEqual(text.color, "black"))
            tryVerify(() => Qt.colorEqual(track.color, Constants.qvOrangeColour), 1000)
        }

        function test_textsAndFontSize() {
            const control = createTemporaryObject(toggleComponent, host, { x: 10, y: 10, switchedOffText: "No" })
            compare(trackText(control).text, "No")
            const small = control.height
            control.switchTextFontPointSize = 24
            verify(control.height > small)
            verify(near(control.indicator.handle.width, 0.8 * control.indicator.height))
        }

        function test_clickToggles() {
            const control = createTemporaryObject(toggleComponent, host, { x: 10, y: 10 })
            mouseClick(control)
            verify(control.checked)
        }
    }
}
