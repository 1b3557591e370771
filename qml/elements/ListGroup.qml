import QtQuick
import QtQuick.Controls
import QVImports
import FontAwesome

Item {
    id: root

    property alias index: listView.currentIndex
    property alias currentItem: listView.currentItem
    property alias model: listView.model
    property alias delegate: listView.delegate
    property int sectionFontPointSize: 12

    readonly property var groupItems: [
        { dateTime: "2015-08-14T14:06:00.000Z", timeString: "14:06", dateString: "14-08-2015", type: 1, loaded: false, valid: true },
        { dateTime: "2015-08-14T14:24:00.000Z", timeString: "14:24", dateString: "14-08-2015", type: 1, loaded: true, valid: true },
        { dateTime: "2015-08-15T12:15:00.000Z", timeString: "12:15", dateString: "15-08-2015", type: 1, loaded: true, valid: false }
    ]

    FontAwesome {
        id: awesome
        resource: Constants.fontAwesomeSolidUri
    }

    ScrollView {
        id: scrollView
        anchors.fill: parent

        ScrollBar.vertical: ScrollBar {
            id: verticalBar
            parent: scrollView
            x: listView.x + listView.width - width
            y: listView.y
            height: listView.height
            width: implicitWidth
            padding: 0
            visible: listView.contentHeight > listView.height + 1
            policy: ScrollBar.AlwaysOn
            stepSize: 0.05

            contentItem: Rectangle {
                implicitWidth: 8
                implicitHeight: listView.height
                radius: width / 2
                color: Constants.qvOrangeColour
            }
            background: Rectangle {
                color: "#333"
                opacity: 0.2
                radius: width / 2
            }
        }

        ListView {
            id: listView

            // Only clicks choose a row: a replaced model gets back the row the
            // user last clicked, or none. Where the new model still holds the
            // clicked item elsewhere (a list that grew above it), its row
            // follows it: the highlight must not mark another session.
            property bool selectionActive: false
            property int clickedSelection: -1
            property var clickedItem: null

            function rowOfClickedItem() {
                const items = model
                const count = items && items.length !== undefined ? items.length : 0
                for (let i = 0; i < count; ++i) {
                    if (items[i] === clickedItem)
                        return i
                }
                return -1
            }

            clip: true
            model: root.groupItems
            currentIndex: -1
            onModelChanged: {
                const followed = selectionActive ? rowOfClickedItem() : -1
                if (followed >= 0)
                    clickedSelection = followed
                currentIndex = selectionActive ? clickedSelection : -1
            }

            section.property: "dateString"
            section.criteria: ViewSection.FullString
            section.delegate: Rectangle {
                width: ListView.view.width
                height: Math.round(1.5 * sectionText.implicitHeight)
                color: "transparent"

                Text {
                    id: sectionText
                    anchors.centerIn: parent
                    text: section
                    color: "white"
                    font.bold: false
                    font.pointSize: root.sectionFontPointSize
                }
            }

            delegate: ListGroupItem {
                width: ListView.view.width - verticalBar.width
                icon: !modelData.valid ? awesome.icons.fa_warning
                    : modelData.type === 1 ? awesome.icons.fa_wifi
                    : modelData.type === 2 ? awesome.icons.fa_volume_up
                    : awesome.icons.fa_question_circle
                loading: modelData.loading === undefined ? true : modelData.loading
                text: modelData.timeString
                context: modelData
            }
        }
    }
}
