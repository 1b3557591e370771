import QtQuick
import QtQuick.Controls
import QtTest
import Promptwell

Item {
    id: host
    width: 800
    height: 600

    Component {
        id: okComponent
        OkDialog {}
    }
    Component {
        id: yesNoComponent
        YesNoDialog {}
    }
    Component {
        id: progressComponent
        ProgressBarDialog {}
    }

    SignalSpy {
        id: yesSpy
        signalName: "yes"
    }
    SignalSpy {
        id: noSpy
        signalName: "no"
    }
    SignalSpy {
        id: cancelSpy
        signalName: "cancel"
    }

    TestCase {
        name: "Dialogs"
        when: windowShown

        function make(component, properties) {
            const dialog = createTemporaryObject(component, host, properties || {})
            verify(dialog)
            return dialog
        }

        function openAndSettle(dialog) {
            dialog.open()
            tryCompare(dialog, "opened", true)
        }

        function test_yesNoOnlyClosesFromCode() {
            const dialog = make(yesNoComponent, { dialogTitle: "", message: "Question?" })
            yesSpy.target = dialog
            noSpy.target = dialog
            yesSpy.clear()
            noSpy.clear()
            openAndSettle(dialog)

            keyClick(Qt.Key_Escape)
            mouseClick(host, 5, 5)
            wait(50)
            verify(dialog.opened)

            mouseClick(findChild(dialog.footer, "yesButton"))
            compare(yesSpy.count, 1)
            compare(noSpy.count, 0)
            verify(dialog.visible, "an answer leaves the closing to the caller")
            mouseClick(findChild(dialog.footer, "noButton"))
            compare(noSpy.count, 1)
            dialog.close()
        }

        function test_okClosesOnOkAndEscape() {
            const dialog = make(okComponent, { dialogTitle: "Title", message: "Done" })
            openAndSettle(dialog)
            keyClick(Qt.Key_Escape)
            tryCompare(dialog, "visible", false)

            openAndSettle(dialog)
            mouseClick(findChild(dialog.footer, "okButton"))
            tryCompare(dialog, "visible", false)
            compare(findChild(dialog.header, "titleLabel").text, "Title")
        }

        function test_progressShowsRoundedPercentAndBar() {
            const dialog = make(progressComponent)
            cancelSpy.target = dialog
            cancelSpy.clear()
            openAndSettle(dialog)
            const label = findChild(dialog.contentItem, "percentLabel")
            const bar = findChild(dialog.contentItem, "progressBar")
            const fill = findChild(dialog.contentItem, "progressFill")
            verify(label && bar && fill)

            compare(label.text, "0%")
            compare(fill.width, 0)
            dialog.progressValue = 49.5
            compare(label.text, "50%")
            dialog.progressValue = 100
            compare(label.text, "100%")
            tryCompare(fill, "width", bar.width)

            mouseClick(findChild(dialog.footer, "cancelButton"))
            compare(cancelSpy.count, 1)
            verify(dialog.visible)
            dialog.close()
        }

        function test_twoProgressDialogsKeepTheirOwnValues() {
            const first = make(progressComponent, { progressValue: 10 })
            const second = make(progressComponent, { progressValue: 80 })
            openAndSettle(first)
            openAndSettle(second)
            compare(findChild(first.contentItem, "percentLabel").text, "10%")
            compare(findChild(second.contentItem, "percentLabel").text, "80%")
            first.close()
            second.close()
        }

        function test_emptyLineOfTheMessageIsKept() {
            const dialog = make(okComponent, { message: "first\n\nthird" })
            openAndSettle(dialog)
            const label = findChild(dialog.contentItem, "messageLabel")
            compare(label.lineCount, 3)
            compare(label.wrapMode, Text.NoWrap)
            dialog.close()
        }

        // The file a save dialog's answer names: a picked file's URL or a
        // typed name's bare path (Qt Quick's own dialog gives it that way),
        // with the chosen filter's suffix when the name has none.
        function test_savedFile_data() {
            // tag, the dialog's answer, the filter's suffix, the path saved to
            return [
                ["picked file", "file:///home/ann/log.csv", "csv", "/home/ann/log.csv"],
                ["escapes of a picked file", "file:///home/ann/My%20Files/a%23b.exe", "exe",
                 "/home/ann/My Files/a#b.exe"],
                ["non-latin", "file:///tmp/Messung%20%C3%BC%E2%82%AC.wav", "wav",
                 "/tmp/Messung \u00fc\u20ac.wav"],
                ["typed name", "/home/ann/session 1", "csv", "/home/ann/session 1.csv"],
                // Typed, '#' starts no fragment and '%' stands for itself.
                ["typed # and %", "/home/ann/run#2 100%", "tsv", "/home/ann/run#2 100%.tsv"],
                ["a suffix of its own", "/tmp/plot.jpg", "png", "/tmp/plot.jpg"],
                ["all files: the dialog's suffix", "/tmp/plot", "*", "/tmp/plot.dat"],
                ["relative name", "session1", "csv", ""],
                ["another scheme", "https://example.invalid/a.csv", "csv", ""],
                ["nothing", "", "csv", ""]
            ].map(row => ({ tag: row[0], answer: row[1], filter: [row[2]], path: row[3] }))
        }

        function test_savedFile(data) {
            const path = FileChoice.localPath(data.answer)
            const suffix = FileChoice.suffixOf(data.filter, "dat")
            compare(path === "" ? "" : FileChoice.withSuffix(path, suffix), data.path)
        }

        function test_centredInParent() {
            const dialog = make(okComponent, { message: "centred" })
            openAndSettle(dialog)
            fuzzyCompare(dialog.x, host.width / 2 - dialog.width / 2, 1)
            fuzzyCompare(dialog.y, host.height / 2 - dialog.height / 2, 1)
            host.width = 500
            fuzzyCompare(dialog.x, 250 - dialog.width / 2, 1)
            host.width = 800
            dialog.close()
        }
    }
}
