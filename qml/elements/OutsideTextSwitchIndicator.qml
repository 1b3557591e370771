import QtQuick
import QtQuick.Templates as T
import QtQuick.Controls.impl
import "MaterialSwitchStyle.js" as SwitchStyle

Rectangle {
    id: indicator

    property color switchCheckedTrackColor: "red"
    property color switchUncheckedTrackColor: SwitchStyle.uncheckedTrackColor
    property T.AbstractButton control
    property alias handle: handle

    width: SwitchStyle.indicatorWidth
    height: SwitchStyle.indicatorHeight
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
        readonly property real largestScale: largestSize / normalSize

        // Laid out at the largest size and drawn smaller through scale, so it
        // grows and shrinks about its centre without moving.
        width: normalSize * largestScale
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
            x: (handle.width - width) / 2
            y: (handle.height - height) / 2
            name: indicator.control.icon.name
            source: indicator.control.icon.source
            sourceSize.width: indicator.control.icon.width
            sourceSize.height: indicator.control.icon.height
            color: indicator.control.icon.color
            visible: handle.hasIcon
        }
    }
}
