import QtQuick
import QVImports
import FontAwesome

Item {
    id: root

    property alias text: message.text
    property alias icon: iconItem.icon
    property alias font: message.font
    property alias textColor: message.color
    property alias color: background.color
    property double showDuration: 2000
    property bool isShowing: false

    // Timed display. A number as second argument is this call's duration; an
    // argument that reads as false (empty, 0, absent) keeps the previous value.
    function show(text, icon, showDuration) {
        if (typeof icon === "number") {
            showDuration = icon
            icon = ""
        }
        if (text)
            root.text = text
        if (icon)
            root.icon = icon
        if (showDuration)
            root.showDuration = showDuration
        // A running display goes on with the new text.
        if (!displayAnimation.running)
            root.run(displayAnimation)
    }

    function showInfinite(text, icon) {
        if (typeof icon === "number") {
            root.showDuration = icon
            icon = ""
        }
        if (text)
            root.text = text
        if (icon)
            root.icon = icon
        root.run(manualShowAnimation)
    }

    function hide() {
        root.run(manualHideAnimation)
    }

    // One animation moves the banner at a time, the one of the last call,
    // from where the banner is; the others stop without a word on
    // isShowing, which only the last call's animation decides.
    property Animation current: null

    function run(animation) {
        current = animation
        for (const other of [manualShowAnimation, manualHideAnimation, displayAnimation]) {
            if (other !== animation)
                other.stop()
        }
        if (!animation.running)
            animation.start()
    }

    clip: true
    width: banner.width
    height: banner.height

    Item {
        id: banner

        readonly property int startPoint: -1.1 * height

        width: row.width * 1.2
        height: row.height * 2

        Rectangle {
            id: background
            anchors.fill: parent
            radius: 4
            border.width: 0
            color: Constants.qvOrangeColour
        }
        // Squares off the top corners.
        Rectangle {
            anchors.fill: parent
            anchors.bottomMargin: 4
            radius: 0
            border.width: 0
            color: background.color
        }

        Row {
            id: row
            anchors.centerIn: parent
            spacing: 5

            FontAwesomeIcon {
                id: iconItem
                anchors.verticalCenter: parent.verticalCenter
                visible: icon !== ""
                fontPointSize: Math.max(1, 12 * screenScaler.fontScaler)
            }
            Text {
                id: message
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("This is a test notification")
                textFormat: Text.PlainText
                font.pointSize: Math.max(1, 10 * screenScaler.fontScaler)
            }
        }
    }

    // Hidden, the banner follows its rest position as a new text or screen
    // resizes it. Shown, it must stay where the animations put it, and they
    // write y without removing a binding on it.
    Binding {
        target: banner
        property: "y"
        value: banner.startPoint
        when: !root.isShowing
        restoreMode: Binding.RestoreNone
    }

    NumberAnimation {
        id: manualShowAnimation
        target: banner
        property: "y"
        to: 0
        duration: 200
        easing.type: Easing.InOutQuad
        onStarted: root.isShowing = true
    }

    NumberAnimation {
        id: manualHideAnimation
        target: banner
        property: "y"
        to: banner.startPoint
        duration: 200
        easing.type: Easing.InOutQuad
        onStopped: {
            if (root.current === manualHideAnimation)
                root.isShowing = false
        }
    }

    SequentialAnimation {
        id: displayAnimation
        onStarted: root.isShowing = true
        onStopped: {
            if (root.current === displayAnimation)
                root.isShowing = false
        }

        NumberAnimation {
            target: banner
            property: "y"
            to: 0
            duration: 200
            easing.type: Easing.InOutQuad
        }
        PauseAnimation {
            duration: Math.trunc(root.showDuration)
        }
        NumberAnimation {
            target: banner
            property: "y"
            to: banner.startPoint
            duration: 200
            easing.type: Easing.InOutQuad
        }
    }
}
