import QtQuick
import QtQuick.Templates as T
import QtQuick.Controls.Material
import QtQuick.Controls.Material.impl
import QVImports
import "MaterialSwitchStyle.js" as SwitchStyle

T.AbstractButton {
    id: control

    property color fontColour: "white"
    property real visualPosition: checked ? 1.0 : 0.0

    checkable: true
    checked: false
    spacing: 8
    implicitWidth: indicator.implicitWidth + label.implicitWidth + spacing
    implicitHeight: Math.max(indicator.implicitHeight, label.implicitHeight)
    width: implicitWidth
    height: implicitHeight

    background: null
    contentItem: contentRow

    Row {
        id: contentRow
        spacing: control.spacing

        Text {
            id: label
            text: control.text
            font: control.font
            color: control.fontColour
            elide: Text.ElideRight
            anchors.verticalCenter: indicator.verticalCenter
        }

        Rectangle {
            id: indicator

            property color switchCheckedTrackColor: Constants.qvOrangeColour
            property color switchUncheckedTrackColor: SwitchStyle.uncheckedTrackColor
            property alias handle: handle

            height: 1.1 * label.implicitHeight
            width: 2 * height
            implicitWidth: width
            implicitHeight: height
            y: parent.height / 2 - height / 2
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

            Ripple {
                x: handle.x + handle.width / 2 - width / 2
                y: handle.y + handle.height / 2 - height / 2
                width: 28
                height: 28
                anchor: control
                pressed: control.pressed
                active: enabled && (control.down || control.visualFocus || control.hovered)
                color: control.checked ? control.Material.highlightedRippleColor : control.Material.rippleColor
            }

            Rectangle {
                id: handle

                readonly property int offset: 2
                readonly property real normalSize: SwitchStyle.normalHandleHeight
                readonly property real checkedSize: SwitchStyle.checkedHandleHeight
                readonly property real largestSize: SwitchStyle.largestHandleHeight

                width: 0.8 * indicator.height
                height: width
                radius: width / 2
                x: Math.max(offset, Math.min(indicator.width - offset - width,
                                             control.visualPosition * indicator.width - width / 2))
                y: (indicator.height - height) / 2
                scale: control.down ? 1 : (control.checked ? checkedSize / largestSize : normalSize / largestSize)
                color: control.enabled
                       ? (control.checked ? SwitchStyle.checkedHandleColor
                                          : (control.hovered ? SwitchStyle.uncheckedHoveredHandleColor
                                                             : SwitchStyle.uncheckedHandleColor))
                       : (control.checked ? SwitchStyle.disabledCheckedHandleColor
                                          : SwitchStyle.disabledUncheckedHandleColor)

                Behavior on x {
                    enabled: !control.pressed
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
            }
        }
    }
}
