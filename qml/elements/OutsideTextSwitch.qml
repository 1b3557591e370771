import QtQuick
import QtQuick.Templates as T
import QtQuick.Controls.Material
import QtQuick.Controls.Material.impl
import QVImports
import Elements as Elements
import "MaterialSwitchStyle.js" as SwitchStyle

T.Switch {
    id: control

    property bool textOnLeft: true
    property color textColour: "white"

    // The track sits inside the switch's own box, beside the label's box, so a
    // press on the track reaches the switch.
    readonly property real trackRoom: switchIndicator.width + spacing

    padding: 8
    spacing: 8
    leftPadding: textOnLeft ? padding : padding + trackRoom
    rightPadding: textOnLeft ? padding + trackRoom : padding

    implicitWidth: switchIndicator.width + contentText.implicitWidth + spacing + 2 * padding
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             implicitContentHeight + topPadding + bottomPadding,
                             switchIndicator.height + topPadding + bottomPadding)

    icon.width: 16
    icon.height: 16
    icon.color: !enabled ? (checked ? SwitchStyle.disabledCheckedIconColor : SwitchStyle.disabledUncheckedIconColor)
                         : checked ? (Material.theme === Material.Light ? Qt.darker(Material.accentColor, 1.8)
                                                                        : Material.primaryTextColor)
                                   : SwitchStyle.uncheckedTrackColor

    indicator: switchIndicator
    contentItem: contentText

    Elements.OutsideTextSwitchIndicator {
        id: switchIndicator
        control: control
        switchCheckedTrackColor: Constants.qvOrangeColour
        y: control.topPadding + (control.availableHeight - height) / 2
        anchors.left: control.textOnLeft ? contentText.right : undefined
        anchors.right: control.textOnLeft ? undefined : contentText.left
        anchors.margins: control.spacing

        Ripple {
            x: switchIndicator.handle.x + switchIndicator.handle.width / 2 - width / 2
            y: switchIndicator.handle.y + switchIndicator.handle.height / 2 - height / 2
            width: 28
            height: 28
            z: -1
            anchor: control
            pressed: control.pressed
            active: enabled && (control.down || control.visualFocus || control.hovered)
            color: control.checked ? control.Material.highlightedRippleColor : control.Material.rippleColor
        }
    }

    Text {
        id: contentText
        text: control.text
        font: control.font
        color: control.textColour
        elide: Text.ElideRight
        verticalAlignment: Text.AlignVCenter
        anchors.verticalCenter: control.verticalCenter
        anchors.left: control.textOnLeft ? control.left : undefined
        anchors.right: control.textOnLeft ? undefined : control.right
        anchors.margins: control.spacing
    }
}
