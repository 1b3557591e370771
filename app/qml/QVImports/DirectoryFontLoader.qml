import QtQuick
import Qt.labs.folderlistmodel

QtObject {
    id: root

    property string relativeFontDirectory: "fonts"
    property url fontDirectory: Qt.resolvedUrl("../../content/" + relativeFontDirectory)

    function loadFont(url) {
        Qt.createQmlObject('import QtQuick 2.15; FontLoader { source: "' + url + '" }', root,
                           "dynamicFontLoader")
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
