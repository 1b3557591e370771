pragma Singleton
import QtQuick

// Glyphs of the solid icon font by the names the documents use; the
// comment names the glyph in the font's own catalogue.
QtObject {
    readonly property string fa_arrow_left: "\uf060" // arrow-left
    readonly property string fa_circle_o_notch: "\uf1ce" // circle-notch
    readonly property string fa_clipboard: "\uf328" // clipboard
    readonly property string fa_close: "\uf00d" // xmark
    readonly property string fa_cloud_download: "\uf0ed" // cloud-arrow-down
    readonly property string fa_download: "\uf019" // download
    readonly property string fa_floppy_o: "\uf0c7" // floppy-disk
    readonly property string fa_globe: "\uf0ac" // globe
    readonly property string fa_hand_pointer_o: "\uf25a" // hand-pointer
    readonly property string fa_heartbeat: "\uf21e" // heart-pulse
    readonly property string fa_info_circle: "\uf05a" // circle-info
    readonly property string fa_line_chart: "\uf201" // chart-line
    readonly property string fa_play: "\uf04b" // play
    readonly property string fa_power_off: "\uf011" // power-off
    readonly property string fa_question: "\u003f" // question
    readonly property string fa_question_circle: "\uf059" // circle-question
    readonly property string fa_refresh: "\uf021" // arrows-rotate
    readonly property string fa_stop: "\uf04d" // stop
    readonly property string fa_trash_o: "\uf2ed" // trash-can
    readonly property string fa_volume_up: "\uf028" // volume-high
    readonly property string fa_warning: "\uf071" // triangle-exclamation
    readonly property string fa_wifi: "\uf1eb" // wifi
    readonly property string fa_window_maximize: "\uf2d0" // window-maximize
    readonly property string fa_window_minimize: "\uf2d1" // window-minimize
    readonly property string fa_window_restore: "\uf2d2" // window-restore
}
