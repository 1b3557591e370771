import QtCore
import QtQuick
import QtQuick.Dialogs
import Promptwell

// The folder dialog of the program: the folder the user picked in its list,
// otherwise the folder it shows, never one it only highlighted by itself.
Item {
    id: root

    property alias title: dialog.title
    // Where the dialog opens; one that does not exist gives the home folder.
    // After a choice it is the folder chosen.
    property var folder: StandardPaths.writableLocation(StandardPaths.DesktopLocation)

    signal chosen(url folder)

    function open() {
        dialog.currentFolder = FileChoice.existingFolder(root.folder)
        dialog.open()
        inWindow.adopt()
    }

    function close() {
        dialog.close()
    }

    // What the dialog hands back: the folder chosen.
    function take(folder) {
        root.folder = folder
        root.chosen(folder)
    }

    FolderDialog {
        id: dialog
        title: qsTr("Select Folder")
        modality: Qt.ApplicationModal
        onAccepted: root.take(inWindow.chosenFolder())
    }

    InWindowDialog {
        id: inWindow
        dialog: dialog
    }
}
