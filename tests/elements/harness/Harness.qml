import QtQuick
import QtQuick.Window
import QVImports
import FontAwesome
import Elements

// Stands in for the application's main window: the ids that elements reach
// through their host document's context.
QtObject {
    id: harness

    // A screen as a window's "screen" gives it; tests change it freely and
    // call resetScreen() when done.
    property QtObject fakeScreen: QtObject {
        property int width: 1920
        property int height: 1080
        property real devicePixelRatio: 1
        property real pixelDensity: 3.7778756676394467
    }

    function resetScreen() {
        fakeScreen.width = 1920
        fakeScreen.height = 1080
        fakeScreen.devicePixelRatio = 1
        fakeScreen.pixelDensity = 3.7778756676394467
        screenScaler.currentScreen = fakeScreen
    }

    property ScreenScaler screenScaler: ScreenScaler {
        currentScreen: harness.fakeScreen
    }

    property Window mainWindow: Window {
        width: 800
        height: 600
    }

    // Records what the elements hand to the clipboard; tests emit its signals.
    property QtObject clipboard: QtObject {
        property string text
        property string imageData
        property int imageCount: 0

        signal imageCopied
        signal error(string error)

        function setText(value) {
            text = value
        }
        function copyBase64Image(data) {
            imageData = data
            ++imageCount
        }
        function clear() {
            text = ""
            imageData = ""
            imageCount = 0
        }
    }

    property FontAwesome awesome: FontAwesome {
        resource: Constants.fontAwesomeSolidUri
    }
}
