import QtQuick
import QtQuick.Templates as T
import QtQuick.Controls.impl
import "MaterialSwitchStyle.js" as SwitchStyle

Rectangle {
    id: indicator

    property int trackFontPointSize: 10
    property string switchedOnText: "OnText"
    property string switchedOffText: "OffText"
    property color switchCheckedTrackColor: "red"
    property color switchUncheckedTrackColor: SwitchStyle.uncheckedTrackColor
    property T.AbstractButton control
    property alias handle: handle

    width: parent ? parent.width : 0
    height: 2 * trackText.height
    y: parent ? parent.height / 2 - height / 2 : 0
    radius: height / 2
    border.width: 2
    color: control.enabled ? (control.checked ? switchCheckedTrackColor : switchUncheckedTrackColor)
                           : (control.checked ? SwitchStyle.disabledCheckedTrackColor
                                              : SwitchStyle.disabledUncheckedTrackColor)
    border.color: control.enabled ? (control.checked ? switchCheckedTrackColor : SwitchStyle.uncheckedHandleColor)
                                  : (control.checked ? SwitchStyle.disabledCheckedTrackColor
                                                     : SwitchStyle.disabledUncheckedTrackBorderColor)

    Behavior on color {
        ColorAnimation {
            duration: 200
        }
    }
    Behavior on border.color {
        ColorAnimation {
            duration: 200
        }
    }

    Rectangle {
        id: handle

        readonly property int offset: 2
        readonly property bool hasIcon: indicator.control.icon.name !== ""
                                        || String(indicator.control.icon.source) !== ""
        readonly property real checkedSize: SwitchStyle.checkedHandleHeight
        readonly property real largestSize: SwitchStyle.largestHandleHeight
        readonly property real normalSize: hasIcon ? checkedSize : SwitchStyle.normalHandleHeight

        width: 0.8 * indicator.height
        height: width
        radius: width / 2
        x: Math.max(offset, Math.min(indicator.width - offset - width,
                                     (indicator.control as T.Switch).visualPosition * indicator.width - width / 2))
        y: (indicator.height - height) / 2
        scale: indicator.control.down ? 1
                                      : (indicator.control.checked ? checkedSize / largestSize
                                                                   : normalSize / largestSize)
        color: indicator.control.enabled
               ? (indicator.control.checked ? SwitchStyle.checkedHandleColor
                                            : (indicator.control.hovered ? SwitchStyle.uncheckedHoveredHandleColor
                                                                         : SwitchStyle.uncheckedHandleColor))
               : (indicator.control.checked ? SwitchStyle.disabledCheckedHandleColor
                                            : SwitchStyle.disabledUncheckedHandleColor)

        Behavior on x {
            enabled: !indicator.control.pressed
            SmoothedAnimation {
                duration: 300
            }
        }
        Behavior on scale {
            NumberAnimation {
                duration: 100
            }
        }
        Behavior on color {
            ColorAnimation {
                duration: 200
            }
        }

        IconImage {
            anchors.centerIn: parent
            name: indicator.control.icon.name
            source: indicator.control.icon.source
            sourceSize.width: indicator.control.icon.width
            sourceSize.height: indicator.control.icon.height
            color: indicator.control.icon.color
            visible: handle.hasIcon
        }
    }

    Text {
        id: trackText
        text: indicator.control.checked ? indicator.switchedOnText : indicator.switchedOffText
        font.pointSize: indicator.trackFontPointSize
        color: "black"
        anchors.verticalCenter: parent.verticalCenter
        x: indicator.control.checked ? 0.1 * indicator.width : 0.9 * indicator.width - width

        Behavior on x {
            NumberAnimation {
                duration: 120
            }
        }
    }
}
