import QtQuick
import QtTest
import Elements

TestCase {
    name: "ScreenScaler"

    Component {
        id: scalerComponent
        ScreenScaler {}
    }

    function screen(width, height, ratio) {
        return { width: width, height: height, devicePixelRatio: ratio || 1, pixelDensity: 4 }
    }

    function test_factors_data() {
        return [
            { tag: "1920x1080", w: 1920, h: 1080, ws: 1, hs: 1, fs: 1, sw: 1536, sh: 918 },
            { tag: "2560x1440", w: 2560, h: 1440, ws: 4 / 3, hs: 4 / 3, fs: 4 / 3 * 0.8, sw: 2048, sh: 1224 },
            { tag: "1920x1200", w: 1920, h: 1200, ws: 1, hs: 1200 / 1080,
              fs: Math.sqrt(1920 * 1920 + 1200 * 1200) / Math.sqrt(1920 * 1920 + 1080 * 1080) * 0.8, sw: 1536, sh: 1020 },
            { tag: "3840x2160", w: 3840, h: 2160, ws: 2, hs: 2, fs: 1.6, sw: 3072, sh: 1836 },
            { tag: "1366x768", w: 1366, h: 768, ws: 1366 / 1920, hs: 768 / 1080,
              fs: Math.sqrt(1366 * 1366 + 768 * 768) / Math.sqrt(1920 * 1920 + 1080 * 1080), sw: 1092, sh: 652 }
        ]
    }

    function test_factors(data) {
        const scaler = createTemporaryObject(scalerComponent, this, { currentScreen: screen(data.w, data.h) })
        fuzzyCompare(scaler.widthScaler, data.ws, 1e-9)
        fuzzyCompare(scaler.heightScaler, data.hs, 1e-9)
        fuzzyCompare(scaler.fontScaler, data.fs, 1e-9)
        compare(scaler.startWidth, data.sw)
        compare(scaler.startHeight, data.sh)
        fuzzyCompare(scaler.headerHeight, data.h * 0.05, 1e-9)
        fuzzyCompare(scaler.contentHeight, data.h * 0.9, 1e-9)
    }

    function test_referenceScreenDetails() {
        const scaler = createTemporaryObject(scalerComponent, this, { currentScreen: screen(1920, 1080) })
        compare(scaler.headerHeight, 54)
        compare(scaler.footerHeight, 54)
        compare(scaler.contentHeight, 972)
        compare(scaler.baseScreenDiagonal, 2202.9071700822983)
        // Just above the reference diagonal the scaler drops to about 0.8.
        scaler.currentScreen = screen(1921, 1080)
        verify(scaler.fontScaler > 0.8 && scaler.fontScaler < 0.801)
    }

    function test_zoomAndDensity() {
        const scaler = createTemporaryObject(scalerComponent, this, { currentScreen: screen(1920, 1080, 1.5) })
        compare(scaler.zoomPercentage, 150)
        compare(scaler.pixelDensity, 4)
    }

    function test_noScreen() {
        const scaler = createTemporaryObject(scalerComponent, this)
        compare(scaler.currentScreen, null)
        for (const name of ["screenWidth", "screenHeight", "zoomPercentage", "pixelDensity", "startWidth",
                            "startHeight", "headerHeight", "contentHeight", "widthScaler", "heightScaler",
                            "fontScaler"])
            compare(scaler[name], 0, name)
    }

    function test_replacedScreenUpdatesBindings() {
        const scaler = createTemporaryObject(scalerComponent, this, { currentScreen: screen(1920, 1080) })
        const reader = createTemporaryQmlObject("import QtQuick; QtObject { property var s; property real size: 10 * s.widthScaler }",
                                                this)
        reader.s = scaler
        compare(reader.size, 10)
        scaler.currentScreen = screen(3840, 2160)
        compare(reader.size, 20)
        compare(scaler.startWidth, 3072)
    }

    function test_followsScreenChanges() {
        // The harness's screenScaler watches a screen object whose size changes in place.
        harness.fakeScreen.width = 2560
        harness.fakeScreen.height = 1440
        fuzzyCompare(screenScaler.fontScaler, 4 / 3 * 0.8, 1e-9)
        compare(screenScaler.startHeight, 1224)
        harness.resetScreen()
        compare(screenScaler.fontScaler, 1)
    }
}
