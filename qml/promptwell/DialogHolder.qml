import QtQml

// The one platform dialog shown at a time: each question gets a new one,
// destroyed once answered, and with its page at the latest.
QtObject {
    property QtObject dialog: null

    function hold(created) {
        release()
        dialog = created
        return created
    }

    function release() {
        if (dialog !== null)
            dialog.destroy()
        dialog = null
    }
}
