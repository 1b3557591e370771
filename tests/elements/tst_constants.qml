import QtQuick
import QtTest
import QVImports

TestCase {
    name: "Constants"

    function test_referenceScreen() {
        compare(Constants.baseWidth, 1920)
        compare(Constants.baseHeight, 1080)
        compare(Constants.baseAspectRatio, 1.7777777777777777)
        compare(Constants.baseScreenDiagonal, 2202.9071700822983)
        compare(Constants.baseDpi, 92)
    }

    function test_palette() {
        verify(Qt.colorEqual(Constants.backgroundColour, Qt.rgba(0x11 / 255, 0x11 / 255, 0x11 / 255, 1)))
        verify(Qt.colorEqual(Constants.qvOrangeColour, "#FF6A00"))
        verify(Qt.colorEqual(Constants.headerColour, "#333333"))
        compare(Constants.fontAwesomeSolidUri, "qrc:/content/fonts/fa-solid-900.ttf")
        verify(Constants.quorvantisWebsite.startsWith("https://"))
        compare(Constants.width, undefined)
        compare(Constants.contentHeight, undefined)
    }

    function test_readOnly() {
        let failed = false
        try {
            Constants.qvOrangeColour = "blue"
        } catch (e) {
            failed = true
        }
        verify(failed)
        verify(Qt.colorEqual(Constants.qvOrangeColour, "#FF6A00"))
    }
}
