import QtCore
import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import Promptwell

// The one save dialog of the program. A name typed or a file picked becomes
// a local path; a bare name gets the chosen filter's suffix; an existing file
// is replaced only after the user agreed. An answer that names no local file
// is reported, never dropped.
Item {
    id: root

    property alias title: dialog.title
    property alias nameFilters: dialog.nameFilters
    readonly property alias selectedNameFilter: dialog.selectedNameFilter
    // The suffix of a bare name when the chosen filter names none.
    property string defaultSuffix: ""
    // Where the dialog opens; one that does not exist gives the home folder.
    // After a save it is the folder saved into.
    property var folder: StandardPaths.writableLocation(StandardPaths.DocumentsLocation)
    // The file name the dialog proposes.
    property string proposedName: ""

    // The file to write; an existing one the user agreed to replace.
    signal chosen(string path)
    // The dialog's answer named no local file.
    signal failed(string answer)

    function open() {
        show(root.folder, root.proposedName)
    }

    function close() {
        dialog.close()
        replaceQuestion.close()
    }

    // What the dialog hands back: a file URL or a bare path.
    function take(answer) {
        let path = FileChoice.localPath(answer)
        if (path === "" || FileChoice.isFolder(path)) {
            console.warn("SaveFileDialog.qml -> no file to save to in " + answer)
            root.failed(String(answer))
            return
        }
        path = FileChoice.withSuffix(path, FileChoice.suffixOf(dialog.selectedNameFilter.extensions,
                                                               root.defaultSuffix))
        root.folder = FileChoice.folderOf(path)
        if (FileChoice.exists(path)) {
            replaceQuestion.path = path
            replaceQuestion.open()
            return
        }
        root.chosen(path)
    }

    function show(folder, name) {
        dialog.currentFolder = FileChoice.existingFolder(folder)
        dialog.open()
        inWindow.adopt(name)
    }

    FileDialog {
        id: dialog
        fileMode: FileDialog.SaveFile
        acceptLabel: qsTr("Save")
        modality: Qt.ApplicationModal
        onAccepted: root.take(selectedFile)
    }

    InWindowDialog {
        id: inWindow
        dialog: dialog
    }

    YesNoDialog {
        id: replaceQuestion
        objectName: "replaceQuestion"

        property string path: ""

        parent: Overlay.overlay
        dialogTitle: qsTr("Replace File")
        message: qsTr("%1 already exists.\nDo you want to replace it?")
                 .arg(FileChoice.fileName(path))
        onYes: {
            close()
            root.chosen(path)
        }
        // Back to the dialog, to choose another name.
        onNo: {
            close()
            root.show(FileChoice.folderOf(path), FileChoice.fileName(path))
        }
    }
}
