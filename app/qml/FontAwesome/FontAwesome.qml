import QtQuick
import FontAwesome

QtObject {
    property url resource
    readonly property string family: IconFont.load(resource)
    readonly property var icons: Variables
}
