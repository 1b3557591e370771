import QtCore
import QtQuick
import Qt.labs.platform as Platform
import Promptwell

// The folder dialog of the program: the platform's folder dialog (see
// SaveFileDialog), opened in the folder chosen last.
Item {
    id: root

    property string title: qsTr("Select Folder")
    // Where the dialog opens; one that does not exist gives the home folder.
    // After a choice it is the folder chosen.
    property var folder: StandardPaths.writableLocation(StandardPaths.DesktopLocation)

    signal chosen(url folder)

    function open() {
        const dialog = holder.hold(folderDialog.createObject(root))
        dialog.open()
        // Before it is shown the dialog opens where the last one was left.
        dialog.currentFolder = FileChoice.existingFolder(root.folder)
    }

    function close() {
        holder.release()
    }

    // What the dialog hands back: the folder chosen.
    function take(folder) {
        root.folder = folder
        root.chosen(folder)
    }

    Component {
        id: folderDialog

        Platform.FolderDialog {
            title: root.title
            modality: Qt.ApplicationModal
            onAccepted: {
                const chosen = folder
                holder.release()
                // Not inside this handler: the export waits in an event loop,
                // in which this dialog is destroyed.
                Qt.callLater(root.take, chosen)
            }
            onRejected: holder.release()
        }
    }

    DialogHolder {
        id: holder
    }
}
