import QtQuick
import QtQuick.Controls
import Quorvantis as Quorvantis
import Frelkit as Frelkit
import FontAwesome as FontAwesome
import Elements as Elements
import QVImports

Item {
    id: item
    objectName: "diagnosticsPage"
    clip: true

    property string pageName: "Diagnostics"

    // The build identifier comes from the context when start-up provides one.
    readonly property string buildId: typeof gitTag === "string" && gitTag !== "" ? gitTag : "unknown"
    // The status packet holds no values before its first reply.
    property bool statusReceived: false

    readonly property string barcodeText: device.deviceID ? padNumber(device.deviceID.barcode, 7) : ""
    readonly property string databaseText: device.deviceID ? padNumber(device.deviceID.databaseID, 7) : ""
    readonly property string bootloaderText: device.bootloaderVersion ? device.bootloaderVersion.humanize : ""
    readonly property string firmwareText: device.codeVersion ? device.codeVersion.humanize : ""

    function getViewStack() {
        return item.StackView.view
    }

    function report() {
        const indent = " ".repeat(20)
        return ["QuorvANTIS Talvenor " + version,
                indent + "Build ID:    " + buildId,
                "",
                indent + "Device ID:   " + (device.deviceID ? device.deviceID.id : ""),
                indent + "Database ID: " + databaseText,
                indent + "Barcode:     " + barcodeText,
                indent + "Bootloader:  v" + bootloaderText,
                indent + "Firmware:    v" + firmwareText].join("\n")
    }

    // One query each time the page comes on top; without a transition the
    // stack may go straight to Active.
    property bool statusQueried: false
    StackView.onStatusChanged: {
        const status = StackView.status
        if (status === StackView.Activating || status === StackView.Active) {
            if (!statusQueried) {
                statusQueried = true
                device.send(deviceStatus)
            }
        } else {
            statusQueried = false
        }
    }

    Quorvantis.DeviceStatus {
        id: deviceStatus
        onBatteryVoltageChanged: item.statusReceived = true
        onMemoryDisabledChanged: item.statusReceived = true
    }

    Frelkit.Clipboard {
        id: clipboard
        objectName: "diagnosticsClipboard"
    }

    Column {
        id: columnCenter
        anchors.centerIn: parent
        spacing: 10

        Text {
            id: textIcon
            anchors.horizontalCenter: parent.horizontalCenter
            text: awesome.icons.fa_heartbeat
            font.family: "FontAwesome"
            font.pixelSize: 50
            color: "#ffffff"
            horizontalAlignment: Text.AlignHCenter
        }

        Text {
            id: textTitle
            objectName: "textTitle"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Device Diagnostics")
            font.pixelSize: 30
            color: "#ffffff"
            horizontalAlignment: Text.AlignHCenter
        }

        Text {
            id: textDescription
            objectName: "textDescription"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("This information is useful for diagnosing problems with your device.")
            font.pixelSize: 14
            color: "#ffffff"
            horizontalAlignment: Text.AlignHCenter
        }

        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 10

            Column {
                id: labelColumn
                spacing: 10

                Repeater {
                    model: ["Barcode", "Database", "Bootloader", "Firmware", "Battery", "Memory"]
                    Text {
                        anchors.right: labelColumn.right
                        text: modelData
                        font.pixelSize: 14
                        color: "#888"
                    }
                }
            }

            Column {
                spacing: 10

                Text {
                    objectName: "barcodeValue"
                    text: item.barcodeText
                    font.pixelSize: 14
                    color: "#fff"
                }
                Text {
                    objectName: "databaseValue"
                    text: item.databaseText
                    font.pixelSize: 14
                    color: "#fff"
                }
                Text {
                    objectName: "bootloaderValue"
                    text: "v" + item.bootloaderText
                    font.pixelSize: 14
                    color: "#fff"
                }
                Text {
                    objectName: "firmwareValue"
                    text: "v" + item.firmwareText
                    font.pixelSize: 14
                    color: "#fff"
                }
                Text {
                    objectName: "batteryValue"
                    text: item.statusReceived ? deviceStatus.batteryVoltage.toFixed(2) + "V" : "-"
                    font.pixelSize: 14
                    color: "#fff"
                }
                Text {
                    objectName: "memoryValue"
                    text: item.statusReceived ? (deviceStatus.memoryDisabled ? "Disabled" : "Enabled") : "-"
                    font.pixelSize: 14
                    color: "#fff"
                }
            }
        }

        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 40

            Elements.LabelButton {
                objectName: "copyButton"
                text: qsTr("Copy to Clipboard")
                onClicked: {
                    clipboard.setText(item.report())
                    notification.show("Copied to Clipboard", awesome.icons.fa_clipboard, 3000)
                }
            }

            Elements.LabelButton {
                objectName: "backButton"
                text: qsTr("Back")
                onClicked: item.getViewStack().pop()
            }
        }
    }
}
