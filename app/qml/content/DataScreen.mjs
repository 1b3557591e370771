// Pure helpers of the data screen: the table that ties the graph switches to
// the plot's traces and notes, and the file names and formats of saved images.

// One row per curve. `series` names the field view's alias, `switchName` the
// panel's switch; colours are passed in so the table stays free of imports.
export function traceTable(colours) {
    return [
        { switchName: "combinedSwitch", label: "Combined", series: "exposureLineSeries",
          name: "Combined Exposure", colour: String(colours.combined), checked: true,
          note: "", noteText: "" },
        { switchName: "eFieldSwitch", label: "E-Field", series: "eFieldLineSeries",
          name: "E-Field", colour: String(colours.eField), checked: false,
          note: "", noteText: "" },
        { switchName: "hFieldSwitch", label: "H-Field", series: "hFieldLineSeries",
          name: "H-Field", colour: String(colours.hField), checked: false,
          note: "", noteText: "" },
        { switchName: "sixMinSwitch", label: "6 Min Avg", series: "sixMinAverageLineSeries",
          name: "6 Min Average", colour: String(colours.sixMin), checked: false,
          note: "6min", noteText: "Per FCC OET 65 Table 1 - Occupational MPE limits." },
        { switchName: "thirtyMinSwitch", label: "30 Min Avg", series: "thirtyMinAverageLineSeries",
          name: "30 Min Average", colour: String(colours.thirtyMin), checked: false,
          note: "30min",
          noteText: "Per ICNIRP 2020 Table 5 - Occupational Whole-Body Reference Levels." }
    ]
}

const imageFormats = { "png": "png", "jpeg": "jpeg", "jpg": "jpeg", "svg": "svg" }

// The file to write and the format to render for an image saved as `path`.
// A name whose extension is no image format gets the chosen filter's one.
// `filterExtensions` is the selected name filter's list, e.g. ["png"].
export function imageTarget(path, filterExtensions) {
    const slash = Math.max(path.lastIndexOf("/"), path.lastIndexOf("\\"))
    const base = path.slice(slash + 1)
    const dot = base.lastIndexOf(".")
    const extension = dot > 0 ? base.slice(dot + 1).toLowerCase() : ""
    if (imageFormats.hasOwnProperty(extension))
        return { fileName: path, format: imageFormats[extension] }
    let chosen = "png"
    const list = filterExtensions ? Array.from(filterExtensions) : []
    for (let i = 0; i < list.length; ++i) {
        const candidate = String(list[i]).replace(/^\*?\.?/, "").toLowerCase()
        if (imageFormats.hasOwnProperty(candidate)) {
            chosen = candidate
            break
        }
    }
    return { fileName: path + "." + chosen, format: imageFormats[chosen] }
}

// Text of the battery row: a placeholder until the instrument has reported.
export function batteryText(reported, volts) {
    return reported ? Number(volts).toFixed(2) + " V" : "-"
}

// Text of the memory row: a placeholder until the instrument has reported.
export function memoryText(reported, disabled) {
    if (!reported)
        return "-"
    return disabled ? "Disabled" : "Enabled"
}

// Whether `next` still holds every entry of `previous`: a list that only grew.
export function keepsEntries(previous, next) {
    const kept = new Set(next)
    for (let i = 0; i < previous.length; ++i) {
        if (!kept.has(previous[i]))
            return false
    }
    return true
}

// The one notice for the saves and image copies that the instrument's loss
// kept from starting.
export function droppedSavesText(count) {
    return count + (count === 1 ? " file" : " files") + " not saved: the instrument was disconnected"
}
