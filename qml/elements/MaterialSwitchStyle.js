.pragma library

// Light-theme switch metrics and colours of the newer Material style; the
// style shipped with Qt 6.4 does not offer them and reads them as undefined.
var indicatorWidth = 52
var indicatorHeight = 32
var normalHandleHeight = 16
var checkedHandleHeight = 24
var largestHandleHeight = 28

var uncheckedTrackColor = "#E7E0EC"
var uncheckedHandleColor = "#757575"
var uncheckedHoveredHandleColor = "#545454"
var checkedHandleColor = "#FFFFFF"

var disabledUncheckedTrackColor = "#1EE7E0EC"
var disabledCheckedTrackColor = "#1E1C1B1F"
var disabledUncheckedTrackBorderColor = "#1E1C1B1F"
var disabledUncheckedHandleColor = "#611C1B1F"
var disabledCheckedHandleColor = "#FFFBFE"
var disabledCheckedIconColor = "#611C1B1F"
var disabledUncheckedIconColor = "#611C1B1F"
