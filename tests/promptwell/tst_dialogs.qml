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
    Component {
        id: saveComponent
        SaveFileDialog {
            nameFilters: ["Text files (*.csv)", "All files (*)"]
            defaultSuffix: "dat"
        }
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
    SignalSpy {
        id: chosenSpy
        signalName: "chosen"
    }
    SignalSpy {
        id: failedSpy
        signalName: "failed"
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

        // The file a save dialog's answer names: a file URL or a bare path,
        // with the chosen filter's suffix when the name has none; an answer
        // naming no file that can be written is reported.
        function test_savedFile_data() {
            // tag, the dialog's answer, the filter chosen, the path saved to
            return [
                ["picked file", "file:///home/ann/log.csv", 0, "/home/ann/log.csv"],
                ["escapes of a picked file", "file:///home/ann/My%20Files/a%23b.exe", 0,
                 "/home/ann/My Files/a#b.exe"],
                ["non-latin", "file:///tmp/Messung%20%C3%BC%E2%82%AC.wav", 0,
                 "/tmp/Messung \u00fc\u20ac.wav"],
                ["bare name", "/home/ann/session 1", 0, "/home/ann/session 1.csv"],
                // Bare, '#' starts no fragment and '%' stands for itself.
                ["bare # and %", "/home/ann/run#2 100%", 0, "/home/ann/run#2 100%.csv"],
                ["a suffix of its own", "/tmp/plot.jpg", 0, "/tmp/plot.jpg"],
                ["all files: the dialog's suffix", "/tmp/plot", 1, "/tmp/plot.dat"],
                // The system would end the name at the NUL: another file's.
                ["NUL in the name", "file:///tmp/kkk%00.csv", 0, ""],
                ["relative name", "session1", 0, ""],
                ["another scheme", "https://example.invalid/a.csv", 0, ""],
                ["nothing", "", 0, ""]
            ].map(row => ({ tag: row[0], answer: row[1], filter: row[2], path: row[3] }))
        }

        function test_savedFile(data) {
            const dialog = make(saveComponent)
            chosenSpy.target = dialog
            failedSpy.target = dialog
            chosenSpy.clear()
            failedSpy.clear()
            dialog.chosenFilter = data.filter
            dialog.take(data.answer)
            compare(chosenSpy.count ? chosenSpy.signalArguments[0][0] : "", data.path)
            compare(failedSpy.count, data.path === "" ? 1 : 0)
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
