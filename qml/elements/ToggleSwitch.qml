import QtQuick
import QtQuick.Templates as T
import QtQuick.Controls.Material
import QtQuick.Controls.Material.impl
import QVImports
import Elements as Elements
import "MaterialSwitchStyle.js" as SwitchStyle

T.Switch {
    id: control

    property alias switchedOnText: toggleIndicator.switchedOnText
    property alias switchedOffText: toggleIndicator.switchedOffText
    property int switchTextFontPointSize: 10

    width: parent ? 0.9 * parent.width : implicitWidth
    height: toggleIndicator.height

    icon.width: 16
    icon.height: 16
    icon.color: !enabled ? (checked ? SwitchStyle.disabledCheckedIconColor : SwitchStyle.disabledUncheckedIconColor)
                         : checked ? (Material.theme === Material.Light ? Qt.darker(Material.accentColor, 1.8)
                                                                        : Material.primaryTextColor)
                                   : SwitchStyle.uncheckedTrackColor

    indicator: toggleIndicator
    contentItem: null
    background: null

    Elements.ToggleSwitchIndicator {
        id: toggleIndicator
        x: 0
        control: control
        switchCheckedTrackColor: Constants.qvOrangeColour
        trackFontPointSize: control.switchTextFontPointSize
        switchedOnText: "OnText"
        switchedOffText: "OffText"

        Ripple {
            x: toggleIndicator.handle.x + toggleIndicator.handle.width / 2 - width / 2
            y: toggleIndicator.handle.y + toggleIndicator.handle.height / 2 - height / 2
            width: 28
            height: 28
            z: -1
            anchor: control
            pressed: control.pressed
            active: enabled && (control.down || control.visualFocus || control.hovered)
            color: control.checked ? control.Material.highlightedRippleColor : control.Material.rippleColor
        }
    }
}
