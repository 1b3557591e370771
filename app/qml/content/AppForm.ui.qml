import QtQuick
import QtQuick.Controls as Controls
import QVImports
import Elements as Elements
import FontAwesome as FontAwesome

Item {
    id: root
    objectName: "appForm"
    anchors.fill: parent
    visible: true
    opacity: 1

    property alias viewStack: viewStack
    property alias notification: notification
    property alias notification2: notification2
    property alias appHeaderMouseArea: appHeaderMouseArea
    property alias globeIcon: globeIcon
    property alias appVersionMouseArea: appVersionMouseArea
    property alias appFooter: rowFooter
    property alias mainBody: mainBody

    Item {
        id: rowHeader
        objectName: "rowHeader"
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        height: 1.5 * Math.max(appIconRow.height, controlButtonRow.height)

        Rectangle {
            id: rectangleHeaderBackground
            anchors.fill: parent
            color: Constants.headerColour
            radius: 4

            MouseArea {
                id: appHeaderMouseArea
                objectName: "appHeaderMouseArea"
                anchors.fill: parent
            }

            Row {
                id: appIconRow
                anchors.left: parent.left
                anchors.leftMargin: 20
                anchors.verticalCenter: parent.verticalCenter
                spacing: 10 * screenScaler.widthScaler

                Image {
                    objectName: "appIcon"
                    source: "qrc:/assets/icon.png"
                    fillMode: Image.PreserveAspectFit
                    width: 30 * screenScaler.widthScaler
                    height: 30 * screenScaler.heightScaler
                    anchors.verticalCenter: parent.verticalCenter
                }
            }

            Text {
                id: textApplicationName
                objectName: "textApplicationName"
                anchors.centerIn: parent
                text: qsTr("QuorvANTIS")
                color: "white"
                font.bold: true
                font.pointSize: 18 * screenScaler.fontScaler
            }

            Row {
                id: controlButtonRow
                anchors.right: parent.right
                anchors.rightMargin: 20
                anchors.verticalCenter: parent.verticalCenter
                spacing: 10

                Elements.ControlButton {
                    id: windowMinimize
                    objectName: "windowMinimize"
                    anchors.verticalCenter: parent.verticalCenter
                    width: windowClose.width
                    height: windowClose.height
                    icon: awesome.icons.fa_window_minimize
                    fontPointSize: 12 * screenScaler.fontScaler
                    color: "transparent"
                    hoverColor: Constants.qvOrangeColour
                    onClicked: windowLayer.showMinimized()
                }

                Elements.ControlButton {
                    id: windowMaximize
                    objectName: "windowMaximize"
                    anchors.verticalCenter: parent.verticalCenter
                    width: windowClose.width
                    height: windowClose.height
                    icon: mainWindow.visibility === Window.Maximized ? awesome.icons.fa_window_restore
                                                                    : awesome.icons.fa_window_maximize
                    fontPointSize: 12 * screenScaler.fontScaler
                    color: "transparent"
                    hoverColor: Constants.qvOrangeColour
                    onClicked: {
                        if (mainWindow.visibility === Window.Maximized)
                            mainWindow.showNormal()
                        else
                            mainWindow.showMaximized()
                    }
                }

                Elements.ControlButton {
                    id: windowClose
                    objectName: "windowClose"
                    anchors.verticalCenter: parent.verticalCenter
                    icon: awesome.icons.fa_close
                    fontPointSize: 16 * screenScaler.fontScaler
                    color: "transparent"
                    hoverColor: Constants.qvOrangeColour
                    onClicked: device.stop()
                }
            }
        }
    }

    Rectangle {
        id: mainBody
        objectName: "mainBody"
        anchors.top: rowHeader.bottom
        anchors.bottom: rowFooter.top
        anchors.left: parent.left
        anchors.right: parent.right
        color: Constants.backgroundColour

        Controls.StackView {
            id: viewStack
            objectName: "viewStack"
            anchors.fill: parent
            initialItem: "qrc:/content/NotConnected.qml"
        }

        Elements.NotificationDropdown {
            id: notification
            objectName: "notification"
            anchors.top: parent.top
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Test Notification"
        }

        Elements.NotificationDropdown {
            id: notification2
            objectName: "notification2"
            anchors.top: parent.top
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Test Notification"
            visible: !notification.isShowing
        }
    }

    Rectangle {
        id: topShadow
        anchors.top: rowHeader.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        height: 10
        gradient: Gradient {
            GradientStop { position: 0; color: "#40000000" }
            GradientStop { position: 1; color: "#00000000" }
        }
    }

    Rectangle {
        id: bottomShadow
        anchors.bottom: rowFooter.top
        anchors.left: parent.left
        anchors.right: parent.right
        height: 10
        gradient: Gradient {
            GradientStop { position: 0; color: "#00000000" }
            GradientStop { position: 1; color: "#40000000" }
        }
    }

    Rectangle {
        id: rowFooter
        objectName: "rowFooter"
        anchors.bottom: parent.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        height: rowHeader.height
        color: Constants.headerColour
        radius: 4

        Row {
            id: visitWebsiteFooter
            anchors.left: parent.left
            anchors.leftMargin: 10 * screenScaler.widthScaler
            anchors.top: parent.top
            anchors.bottom: parent.bottom
            spacing: 10

            Elements.IconButton {
                id: globeIcon
                objectName: "globeIcon"
                anchors.verticalCenter: parent.verticalCenter
                icon: awesome.icons.fa_globe
                fontSize: 16 * screenScaler.fontScaler
                iconHoverColour: Constants.qvOrangeColour
                toolTipText: "Visit website"
                toolTipPointSize: 12 * screenScaler.fontScaler
                enableToolTip: true
            }
        }

        MouseArea {
            id: appVersionMouseArea
            objectName: "appVersionMouseArea"
            anchors.right: parent.right
            anchors.rightMargin: 10 * screenScaler.widthScaler
            anchors.top: parent.top
            anchors.bottom: parent.bottom
            width: appInfoFooter.width + 20
            cursorShape: Qt.PointingHandCursor
            enabled: true

            Row {
                id: appInfoFooter
                anchors.left: parent.left
                anchors.leftMargin: 10
                anchors.top: parent.top
                anchors.bottom: parent.bottom
                spacing: 10 * screenScaler.widthScaler

                Text {
                    id: app_info_label
                    objectName: "appInfoLabel"
                    anchors.verticalCenter: parent.verticalCenter
                    text: apiVars.appUpdateAvailable ? "Update available" : "App Info"
                    color: apiVars.appUpdateAvailable ? Constants.qvOrangeColour : "white"
                    font.pointSize: 10 * screenScaler.fontScaler
                }

                FontAwesome.FontAwesomeIcon {
                    id: app_info_circle
                    anchors.verticalCenter: parent.verticalCenter
                    icon: awesome.icons.fa_info_circle
                    fontPointSize: 14 * screenScaler.fontScaler
                    color: "white"
                    visible: !apiVars.appUpdateAvailable
                }

                FontAwesome.FontAwesomeIcon {
                    id: app_update_available
                    anchors.verticalCenter: parent.verticalCenter
                    icon: awesome.icons.fa_warning
                    fontPointSize: 14 * screenScaler.fontScaler
                    color: Constants.qvOrangeColour
                    visible: apiVars.appUpdateAvailable
                }
            }
        }
    }
}
