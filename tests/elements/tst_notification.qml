import QtQuick
import QtTest
import QVImports
import Elements

Item {
    id: host
    width: 600
    height: 400

    Component {
        id: dropdownComponent
        NotificationDropdown {}
    }

    TestCase {
        name: "NotificationDropdown"
        when: windowShown

        function banner(dropdown) {
            return dropdown.children[0]
        }

        function test_restsAboveTheVisibleArea() {
            const dropdown = createTemporaryObject(dropdownComponent, host)
            const b = banner(dropdown)
            compare(dropdown.text, "This is a test notification")
            compare(dropdown.icon, "")
            compare(dropdown.isShowing, false)
            compare(dropdown.font.pointSize, 10)
            verify(Qt.colorEqual(dropdown.textColor, "black"))
            verify(dropdown.clip)
            compare(b.startPoint, Math.trunc(-1.1 * b.height))
            compare(b.y, b.startPoint)
            verify(b.y + b.height <= 0)
            verify(Qt.colorEqual(dropdown.color, Constants.qvOrangeColour))
            compare(dropdown.width, b.width)
            compare(dropdown.height, b.height)
        }

        function test_timedDisplayTimeline() {
            const dropdown = createTemporaryObject(dropdownComponent, host)
            const b = banner(dropdown)
            const started = Date.now()
            dropdown.show("Image saved", awesome.icons.fa_floppy_o, 600)
            compare(dropdown.isShowing, true)
            compare(dropdown.text, "Image saved")
            compare(dropdown.icon, awesome.icons.fa_floppy_o)
            compare(dropdown.showDuration, 600)
            tryCompare(b, "y", 0, 1000)
            verify(dropdown.isShowing)
            tryCompare(dropdown, "isShowing", false, 5000)
            verify(Date.now() - started >= 900)
            compare(b.y, b.startPoint)
        }

        function test_argumentRules() {
            const dropdown = createTemporaryObject(dropdownComponent, host)
            dropdown.show("First", awesome.icons.fa_warning, 300)
            tryCompare(dropdown, "isShowing", false, 5000)

            // A text alone keeps the icon and the duration of the last call.
            dropdown.show("Second")
            compare(dropdown.text, "Second")
            compare(dropdown.icon, awesome.icons.fa_warning)
            compare(dropdown.showDuration, 300)
            tryCompare(dropdown, "isShowing", false, 5000)

            // A number in the icon's place is the duration; the icon stays.
            dropdown.show("Third", 350)
            compare(dropdown.icon, awesome.icons.fa_warning)
            compare(dropdown.showDuration, 350)
            tryCompare(dropdown, "isShowing", false, 5000)

            // Empty text and zero keep the previous ones.
            dropdown.show("", awesome.icons.fa_clipboard, 0)
            compare(dropdown.text, "Third")
            compare(dropdown.icon, awesome.icons.fa_clipboard)
            compare(dropdown.showDuration, 350)
            tryCompare(dropdown, "isShowing", false, 5000)
        }

        // Whatever changes the banner's size while it is down, it stays down
        // and a running cycle goes on.
        function test_changeWhileShown_data() {
            return [{
                    "tag": "second show with an icon",
                    "lasting": false,
                    "change": d => d.show("Two", awesome.icons.fa_globe)
                }, {
                    "tag": "font scaler of another screen",
                    "lasting": true,
                    "change": () => {
                        harness.fakeScreen.width = 2560
                        harness.fakeScreen.height = 1440
                    }
                }]
        }

        function test_changeWhileShown(data) {
            const dropdown = createTemporaryObject(dropdownComponent, host)
            const b = banner(dropdown)
            const started = Date.now()
            if (data.lasting)
                dropdown.showInfinite("Loading headers", "")
            else
                dropdown.show("One", "", 800)
            tryCompare(b, "y", 0, 1000)
            const height = b.height
            try {
                data.change(dropdown)
                tryVerify(() => b.height !== height, 1000)
                compare(b.y, 0)
                compare(dropdown.isShowing, true)
            } finally {
                harness.resetScreen()
            }
            if (data.lasting) {
                wait(300)
                compare(b.y, 0)
                dropdown.hide()
            } else {
                compare(dropdown.text, "Two")
                compare(dropdown.icon, awesome.icons.fa_globe)
            }
            tryCompare(dropdown, "isShowing", false, 5000)
            compare(b.y, b.startPoint)
            // A restart would have run for 300 + 1200 ms at least.
            if (!data.lasting)
                verify(Date.now() - started >= 1100)
        }

        // Whatever the order and spacing of the calls, the banner ends where
        // the last call puts it: down for showInfinite, up for hide and after
        // a timed show. Each step waits its milliseconds, then calls.
        function test_lastCallDecides_data() {
            const lasting = d => d.showInfinite("Loading headers", "")
            const hide = d => d.hide()
            const timed = d => d.show("File saved", "", 300)
            const rows = [
                ["reboot: hide, showInfinite, hide within the slide",
                 [[0, lasting], [300, hide], [50, lasting], [50, hide]], false],
                ["reboot at zero spacing", [[0, lasting], [300, hide], [0, lasting], [0, hide]], false],
                ["back within the slide", [[0, lasting], [300, hide], [100, lasting]], true],
                ["hidden during the slide in", [[0, lasting], [100, hide]], false],
                ["hidden during a timed display", [[0, timed], [100, hide]], false],
                ["lasting after a timed display began", [[0, timed], [100, lasting]], true],
                ["timed display over a lasting one", [[0, lasting], [300, timed]], false],
                ["timed display while hiding", [[0, lasting], [300, hide], [50, timed]], false]
            ]
            return rows.map(row => ({ "tag": row[0], "steps": row[1], "down": row[2] }))
        }

        function test_lastCallDecides(data) {
            const dropdown = createTemporaryObject(dropdownComponent, host)
            const b = banner(dropdown)
            for (const [delay, call] of data.steps) {
                if (delay > 0)
                    wait(delay)
                call(dropdown)
            }
            // Past every slide and every timed display of these steps.
            wait(1200)
            compare(dropdown.isShowing, data.down)
            compare(b.y, data.down ? 0 : b.startPoint)
        }

        function test_infiniteUntilHidden() {
            const dropdown = createTemporaryObject(dropdownComponent, host)
            const b = banner(dropdown)
            dropdown.showInfinite("Loading headers", "")
            compare(dropdown.isShowing, true)
            tryCompare(b, "y", 0, 1000)
            wait(2500)
            compare(b.y, 0)
            verify(dropdown.isShowing)
            dropdown.hide()
            compare(dropdown.isShowing, true)
            tryCompare(dropdown, "isShowing", false, 1000)
            compare(b.y, b.startPoint)
        }

        function test_infiniteWithNumberSetsLaterDuration() {
            const dropdown = createTemporaryObject(dropdownComponent, host)
            dropdown.showInfinite("Busy", 4000)
            compare(dropdown.showDuration, 4000)
            compare(dropdown.icon, "")
            dropdown.hide()
            tryCompare(dropdown, "isShowing", false, 1000)
        }

        function test_hideWhenHidden() {
            const dropdown = createTemporaryObject(dropdownComponent, host)
            const b = banner(dropdown)
            const rest = b.y
            dropdown.hide()
            tryCompare(dropdown, "isShowing", false, 1000)
            compare(b.y, rest)
        }

        function test_iconTakesNoRoomWhenEmpty() {
            const dropdown = createTemporaryObject(dropdownComponent, host)
            const plain = dropdown.width
            dropdown.showInfinite("", awesome.icons.fa_warning)
            tryVerify(() => dropdown.width > plain)
            dropdown.hide()
            tryCompare(dropdown, "isShowing", false, 1000)
        }
    }
}
