import QtQml

QtObject {
    readonly property int baseWidth: 1920
    readonly property int baseHeight: 1080
    readonly property real baseAspectRatio: baseWidth / baseHeight
    readonly property real basePixelDensity: 3.7778756676394467
    readonly property real baseScreenDiagonal: Math.sqrt(baseWidth * baseWidth + baseHeight * baseHeight)
    readonly property int baseDpi: 92

    property var currentScreen: null

    readonly property int screenWidth: currentScreen ? currentScreen.width : 0
    readonly property int screenHeight: currentScreen ? currentScreen.height : 0
    readonly property real screenDiagonal: Math.sqrt(screenWidth * screenWidth + screenHeight * screenHeight)
    readonly property real zoomPercentage: currentScreen ? currentScreen.devicePixelRatio * 100 : 0
    readonly property real pixelDensity: currentScreen ? currentScreen.pixelDensity : 0
    readonly property int startWidth: screenWidth * 0.8
    readonly property int startHeight: screenHeight * 0.85
    readonly property real headerHeight: screenHeight * 0.05
    readonly property real footerHeight: screenHeight * 0.05
    readonly property real contentHeight: screenHeight - headerHeight - footerHeight
    readonly property real widthScaler: screenWidth / baseWidth
    readonly property real heightScaler: screenHeight / baseHeight
    // Fonts grow only at 80 % of the diagonal ratio on screens above the reference.
    readonly property real fontScaler: {
        const ratio = screenDiagonal / baseScreenDiagonal
        return ratio > 1 ? ratio * 0.8 : ratio
    }
}
