import QtQuick
import QtTest
import QVImports

TestCase {
    name: "QVImportsTemplates"

    Component {
        id: loaderComponent
        DirectoryFontLoader {}
    }
    Component {
        id: modelComponent
        EventListModel {}
    }
    Component {
        id: simulatorComponent
        EventListSimulator {}
    }

    function test_eventListModel() {
        const model = createTemporaryObject(modelComponent, this)
        compare(model.count, 1)
        const event = model.get(0)
        compare(event.eventId, "enterPressed")
        compare(event.eventDescription, "Emitted when pressing the enter button")
        compare(event.shortcut, "Return")
        compare(event.parameters, "Enter")
    }

    function test_simulatorWorksWithoutTheDesignTools() {
        const simulator = createTemporaryObject(simulatorComponent, this)
        verify(simulator.active)
        verify(simulator.timer.running)
        compare(simulator.timer.interval, 100)
        tryVerify(() => !simulator.timer.running)
        const idle = createTemporaryObject(simulatorComponent, this, { active: false })
        verify(!idle.timer.running)
    }

    function test_directoryFontLoaderLoadsEveryFont() {
        const loader = createTemporaryObject(loaderComponent, this)
        compare(loader.relativeFontDirectory, "fonts")
        compare(loader.fontDirectory.toString(), "qrc:/content/fonts")
        tryCompare(loader.folderModel, "count", 1)
        verify(loader.folderModel.get(0, "fileName").endsWith(".ttf"))

        // A file name with quotes is loaded as a name, never read as QML.
        const odd = loader.loadFont("qrc:/content/fonts/x\" } Timer { running: true }.ttf")
        verify(odd.source.toString().endsWith(".ttf"))
        compare(odd.status, FontLoader.Error)
    }
}
