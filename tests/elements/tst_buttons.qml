import QtQuick
import QtTest
import QVImports
import Elements

Item {
    id: host
    width: 600
    height: 400

    Component {
        id: iconButtonComponent
        IconButton {
            icon: awesome.icons.fa_play
            fontSize: 16
        }
    }
    Component {
        id: labelButtonComponent
        LabelButton {}
    }
    Component {
        id: controlButtonComponent
        ControlButton {
            icon: awesome.icons.fa_close
            fontPointSize: 12
        }
    }
    Component {
        id: chromeButtonComponent
        WindowChromeButton {}
    }

    SignalSpy {
        id: clickSpy
        signalName: "clicked"
    }

    function childWith(item, property) {
        for (let i = 0; i < item.data.length; ++i)
            if (item.data[i] && item.data[i][property] !== undefined)
                return item.data[i]
        return null
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
        name: "Buttons"
        when: windowShown

        function init() {
            clickSpy.clear()
            mouseMove(host, host.width - 1, host.height - 1)
        }

        function test_iconButtonHoverAndClick() {
            const button = createTemporaryObject(iconButtonComponent, host, { x: 10, y: 10 })
            clickSpy.target = button
            const glyph = find(button, i => i.icon !== undefined && i.fontPointSize !== undefined)
            compare(button.width, glyph.width + 4)
            compare(button.height, glyph.height + 4)
            verify(Qt.colorEqual(glyph.color, "white"))
            mouseMove(button, button.width / 2, button.height / 2)
            tryVerify(() => Qt.colorEqual(glyph.color, "red"))
            compare(find(button, i => i.cursorShape !== undefined).cursorShape, Qt.PointingHandCursor)
            mouseClick(button)
            compare(clickSpy.count, 1)
        }

        function test_disabledIconButtonKeepsTooltip() {
            const button = createTemporaryObject(iconButtonComponent, host,
                                                 { x: 10, y: 10, enabled: false, enableToolTip: true,
                                                   toolTipText: "Website" })
            clickSpy.target = button
            const glyph = find(button, i => i.icon !== undefined && i.fontPointSize !== undefined)
            const toolTip = childWith(button, "timeout")
            compare(toolTip.delay, 500)
            compare(toolTip.timeout, 3000)
            compare(toolTip.text, "Website")
            compare(toolTip.font.pointSize, 12)
            mouseMove(button, button.width / 2, button.height / 2)
            tryVerify(() => toolTip.visible, 2000)
            verify(Qt.colorEqual(glyph.color, "#888"))
            compare(find(button, i => i.cursorShape !== undefined).cursorShape, Qt.ArrowCursor)
            mouseClick(button)
            compare(clickSpy.count, 0)
            mouseMove(host, host.width - 1, host.height - 1)
            tryVerify(() => !toolTip.visible)
        }

        function test_tooltipOffByDefault() {
            const button = createTemporaryObject(iconButtonComponent, host, { x: 10, y: 10 })
            const toolTip = childWith(button, "timeout")
            mouseMove(button, button.width / 2, button.height / 2)
            wait(700)
            verify(!toolTip.visible)
        }

        function test_labelButtonSizeFollowsContent() {
            const button = createTemporaryObject(labelButtonComponent, host, { x: 10, y: 10 })
            compare(button.text, "TEXT")
            const label = find(button, i => i !== button && i.text === "TEXT")
            fuzzyCompare(button.width, label.width * 1.5, 1e-6)
            fuzzyCompare(button.height, label.height * 1.5, 1e-6)
            const plainWidth = button.width
            button.preIcon = awesome.icons.fa_floppy_o
            const icon = find(button, i => i.icon === awesome.icons.fa_floppy_o)
            verify(icon.width > 0)
            // The row lays its items out on the next polish.
            tryVerify(() => Math.abs(button.width - (plainWidth + (icon.width + 10) * 1.5)) < 1e-6)
            verify(Qt.colorEqual(label.color, Constants.qvOrangeColour))
            verify(Qt.colorEqual(icon.color, Constants.qvOrangeColour))
        }

        function test_labelButtonHoverAndDisabled() {
            const button = createTemporaryObject(labelButtonComponent, host, { x: 10, y: 10, text: "Save" })
            clickSpy.target = button
            mouseMove(button, button.width / 2, button.height / 2)
            tryVerify(() => Qt.colorEqual(button.color, "#666"))
            mouseClick(button)
            compare(clickSpy.count, 1)

            button.enabled = false
            mouseMove(host, host.width - 1, host.height - 1)
            mouseMove(button, button.width / 2, button.height / 2)
            verify(Qt.colorEqual(button.color, "transparent"))
            mouseClick(button)
            compare(clickSpy.count, 1)
            const label = find(button, i => i !== button && i.text === "Save")
            verify(Qt.colorEqual(label.color, "#666"))
        }

        function test_controlButtonGeometry() {
            const square = createTemporaryObject(controlButtonComponent, host, { x: 10, y: 10 })
            const tile = square.children[0]
            const glyph = find(square, i => i.font !== undefined && i.font.family === "FontAwesome")
            fuzzyCompare(tile.width, glyph.height * 1.1, 1e-6)
            compare(tile.height, tile.width)
            fuzzyCompare(tile.radius, tile.width / 8, 1e-6)
            compare(square.implicitWidth, tile.implicitWidth)

            const sized = createTemporaryObject(controlButtonComponent, host,
                                                { x: 100, y: 10, width: 30, height: 20, color: "transparent" })
            const sizedTile = sized.children[0]
            compare(sizedTile.width, 30)
            compare(sizedTile.height, 20)
            compare(sizedTile.radius, 3.75)
            verify(Qt.colorEqual(sizedTile.color, "transparent"))
            clickSpy.target = sized
            mouseMove(sized, 15, 10)
            tryVerify(() => Qt.colorEqual(sizedTile.color, "#c9302c"))
            verify(Qt.colorEqual(sizedTile.border.color, "#c9302c"))
            mouseClick(sized)
            compare(clickSpy.count, 1)
        }

        function test_controlButtonGlyphUsesIconFont() {
            const button = createTemporaryObject(controlButtonComponent, host, { x: 10, y: 10 })
            const glyph = find(button, i => i.font !== undefined && i.font.family === "FontAwesome")
            // A family that did not resolve would draw a fallback glyph of another size.
            const reference = createTemporaryQmlObject(
                'import QtQuick; Text { font.family: "Font Awesome 6 Free"; font.pointSize: 12 }', host)
            reference.text = glyph.text
            compare(glyph.implicitWidth, reference.implicitWidth)
            verify(glyph.implicitWidth > 0)
        }

        function test_windowChromeButton() {
            const button = createTemporaryObject(chromeButtonComponent, host, { x: 10, y: 10 })
            compare(button.width, 0)
            compare(button.height, 0)
            const circle = button.children[0]
            compare(circle.x, 0)
            compare(circle.width, 20)
            compare(circle.radius, 10)
            clickSpy.target = button
            mouseMove(button, 10, 10)
            tryVerify(() => Qt.colorEqual(circle.color, "#c9302c"))
            mouseClick(button, 10, 10)
            compare(clickSpy.count, 1)
        }
    }
}
