// Pure helpers of the main window, kept apart so they can be tested alone.

// number as text, with one c (or "0") put in front for each character it
// falls short of length: 5 with length 3 and "ab" gives "abab5". A longer text
// is returned whole.
export function padNumber(number, length, c) {
    const pad = (c === undefined || c === null || String(c) === "") ? "0" : String(c);
    const text = String(number);
    const missing = Number(length) - text.length;
    return missing > 0 ? pad.repeat(missing) + text : text;
}

// A version with a dash is a development build and never current.
export function appIsCurrent(currentVersion, latestVersion) {
    if (String(currentVersion).indexOf("-") !== -1)
        return false;
    return String(currentVersion) === String(latestVersion);
}

// Whether an announced version is news to this build; an empty answer is none.
export function updateAnnounced(currentVersion, latestVersion) {
    if (latestVersion === undefined || latestVersion === null)
        return false;
    if (String(latestVersion).trim() === "")
        return false;
    return !appIsCurrent(currentVersion, latestVersion);
}

// The expiry date of a calibration answer, or null when it cannot be read. A
// bare date stands for the start of that day where the user is.
export function parseCalibrationDate(calDate) {
    if (calDate === undefined || calDate === null)
        return null;
    const text = String(calDate).trim();
    if (text === "")
        return null;
    const dateOnly = /^(\d{4})-(\d{2})-(\d{2})$/.exec(text);
    const date = dateOnly
            ? new Date(Number(dateOnly[1]), Number(dateOnly[2]) - 1, Number(dateOnly[3]))
            : new Date(text);
    if (isNaN(date.getTime()))
        return null;
    if (dateOnly && (date.getMonth() !== Number(dateOnly[2]) - 1
                     || date.getDate() !== Number(dateOnly[3])))
        return null;
    return date;
}

// "Pending" for an answer that cannot be read, "Expired" for a date before
// now, else the month and year.
export function calibrationText(calDate, now, formatMonthYear) {
    const date = parseCalibrationDate(calDate);
    if (date === null)
        return "Pending";
    if (date.getTime() < now.getTime())
        return "Expired";
    return formatMonthYear(date);
}

// Download progress in percent (0 to 100), or null when the total is unknown.
export function progressPercent(received, total) {
    const r = Number(received);
    const t = Number(total);
    if (!isFinite(r) || !isFinite(t) || t <= 0 || r < 0)
        return null;
    return Math.min(100, r / t * 100);
}
