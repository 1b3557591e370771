import QtQuick
import FontAwesome as FontAwesome

Item {
    id: root

    property alias icon: glyph.icon
    property alias fontPointSize: glyph.fontPointSize
    property color color: "#000"
    property bool active: false
    property alias duration: rotation.duration

    width: glyph.width
    height: glyph.height

    FontAwesome.FontAwesomeIcon {
        id: glyph
        anchors.centerIn: parent
        icon: FontAwesome.Variables.fa_circle_o_notch
        color: root.color
    }

    RotationAnimation {
        id: rotation
        target: glyph
        property: "rotation"
        from: 0
        to: 360
        direction: RotationAnimation.Clockwise
        duration: 5000
        loops: Animation.Infinite
        running: root.active
    }
}
