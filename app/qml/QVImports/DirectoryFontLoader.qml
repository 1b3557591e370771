import QtQuick
import Qt.labs.folderlistmodel

QtObject {
    id: root

    property string relativeFontDirectory: "fonts"
    property url fontDirectory: Qt.resolvedUrl("../../content/" + relativeFontDirectory)

    // The url is assigned, not spliced into the QML text, so no file name can
    // change what gets created.
    function loadFont(url) {
        const loader = Qt.createQmlObject("import QtQuick 2.15; FontLoader {}", root, "dynamicFontLoader")
        loader.source = url
        return loader
    }

    property FolderListModel folderModel: FolderListModel {
        folder: root.fontDirectory
        nameFilters: ["*.ttf", "*.otf"]
        showDirs: false

        onStatusChanged: {
            if (status === FolderListModel.Ready) {
                for (let i = 0; i < count; ++i)
                    root.loadFont(get(i, "fileUrl"))
            }
        }
    }
}
