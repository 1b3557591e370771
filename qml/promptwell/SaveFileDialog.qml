import QtCore
import QtQuick
import QtQuick.Controls
import Qt.labs.platform as Platform
import Promptwell

// The one save dialog of the program: the platform's file dialog, which is
// the desktop's own where a Qt platform theme provides one and Qt's widget
// dialog otherwise. The name the user gives becomes the path the save will
// write (the chosen filter's suffix for a bare name, then the caller's naming
// rule) before anything else happens, so "Replace File" asks about exactly
// the file that is then written, and nothing renames it afterwards. An
// answer that names no local file is reported, never dropped.
Item {
    id: root

    property string title: ""
    property var nameFilters: []
    // The suffix of a bare name when the chosen filter names none.
    property string defaultSuffix: ""
    // Where the dialog opens; one that does not exist gives the home folder.
    // After a save it is the folder saved into.
    property var folder: StandardPaths.writableLocation(StandardPaths.DocumentsLocation)
    // The file name the dialog proposes.
    property string proposedName: ""
    // The index of the name filter chosen in the dialog's last answer.
    property int chosenFilter: 0
    // The file a save of `path` writes, `suffix` being the chosen filter's;
    // "" when it can write none.
    property var savedPathOf: function(path, suffix) { return path }

    // The file to write; an existing one the user agreed to replace.
    signal chosen(string path)
    // The dialog's answer named no file that can be written.
    signal failed(string answer)

    function open() {
        show(root.folder, root.proposedName)
    }

    function close() {
        holder.release()
        replaceQuestion.close()
    }

    // What the dialog hands back: a file URL, or a path.
    function take(answer) {
        const filter = root.nameFilters[Math.max(0, root.chosenFilter)] || ""
        const suffix = FileChoice.suffixOf(filter, root.defaultSuffix)
        let path = FileChoice.localPath(answer)
        if (path !== "" && !FileChoice.isFolder(path))
            path = root.savedPathOf(FileChoice.withSuffix(path, suffix), suffix)
        else
            path = ""
        if (path === "") {
            console.warn("SaveFileDialog.qml -> no file to save to in " + answer)
            root.failed(String(answer))
            return
        }
        root.folder = FileChoice.folderOf(path)
        if (FileChoice.exists(path)) {
            replaceQuestion.path = path
            replaceQuestion.open()
            return
        }
        root.chosen(path)
    }

    // A dialog of its own for every question: none keeps a name typed into
    // an earlier one.
    function show(folder, name) {
        close()
        const start = FileChoice.existingFolder(folder)
        const dialog = holder.hold(fileDialog.createObject(root, { folder: start }))
        dialog.open()
        // The shown dialog takes a proposed name; one not shown yet drops it.
        if (name !== "")
            dialog.currentFile = FileChoice.fileIn(start, name)
    }

    Component {
        id: fileDialog

        Platform.FileDialog {
            title: root.title
            nameFilters: root.nameFilters
            selectedNameFilter.index: 0
            fileMode: Platform.FileDialog.SaveFile
            // Asked here, about the file that will be written.
            options: Platform.FileDialog.DontConfirmOverwrite
            modality: Qt.ApplicationModal
            onAccepted: {
                const answer = file
                root.chosenFilter = selectedNameFilter.index
                holder.release()
                // Not inside this handler: the save waits in an event loop, in
                // which this dialog is destroyed.
                Qt.callLater(root.take, answer)
            }
            onRejected: holder.release()
        }
    }

    DialogHolder {
        id: holder
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
