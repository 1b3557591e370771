pragma Singleton
import QtQuick

QtObject {
    readonly property int baseWidth: 1920
    readonly property int baseHeight: 1080
    readonly property real baseAspectRatio: baseWidth / baseHeight
    readonly property real basePixelDensity: 3.7778756676394467
    readonly property real baseScreenDiagonal: Math.sqrt(baseWidth * baseWidth + baseHeight * baseHeight)
    readonly property int baseDpi: 92

    readonly property color backgroundColour: "#111"
    readonly property color qvOrangeColour: "#FF6A00"
    readonly property color qvOrangeDarkColour: "#AD4800"
    readonly property color headerColour: "#333"
    readonly property color eFieldColour: "#035888"
    readonly property color hFieldColour: "#D43F3A"
    readonly property color sixMinAvgColour: "#34E8EB"
    readonly property color thirtyMinAvgColour: "#8F34EB"

    readonly property string fontAwesomeSolidUri: "qrc:/content/fonts/fa-solid-900.ttf"
    readonly property string quorvantisWebsite: "https://www.quorvantis.com"
}
