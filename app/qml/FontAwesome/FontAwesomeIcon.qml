import QtQuick
import FontAwesome

Text {
    id: root

    property alias icon: root.text
    property alias fontPointSize: root.font.pointSize

    font.family: IconFont.family
    font.pointSize: 12
    color: "black"
}
