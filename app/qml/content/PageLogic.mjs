// Pure helpers of the pages, kept apart so they can be tested alone.

function isWindows(os) {
    return os === "windows" || os === "winrt";
}

// A local path as a file URL: "C:/a b" gives "file:///C:/a%20b", "/home/a"
// gives "file:///home/a", "//server/share" gives "file://server/share".
export function fileUrlFromPath(path) {
    let text = String(path).replace(/\\/g, "/");
    let host = "";
    if (text.startsWith("//")) {
        const end = text.indexOf("/", 2);
        host = end === -1 ? text.substring(2) : text.substring(2, end);
        text = end === -1 ? "" : text.substring(end);
    } else if (/^[A-Za-z]:/.test(text)) {
        text = "/" + text;
    }
    const segments = text.split("/").map(function(segment, index) {
        // The drive letter's colon stays as it is.
        if (index === 1 && /^[A-Za-z]:$/.test(segment))
            return segment;
        return encodeURIComponent(segment);
    });
    return "file://" + host + segments.join("/");
}

// The terms document in the folder the program started in.
export function termsDocumentUrl(applicationPath) {
    let folder = String(applicationPath);
    while (folder.length > 1 && folder.endsWith("/"))
        folder = folder.substring(0, folder.length - 1);
    const base = fileUrlFromPath(folder);
    return (base.endsWith("/") ? base : base + "/") + "T%26Cs.pdf";
}

// The local path of a file URL chosen in a file dialog; a URL of another
// scheme is returned as it is.
export function localPathFromUrl(url) {
    const text = String(url);
    const match = /^file:\/\/([^/]*)(\/.*)?$/i.exec(text);
    if (!match)
        return text;
    const host = match[1];
    let path = decodeURIComponent(match[2] === undefined ? "" : match[2]);
    if (host !== "" && host.toLowerCase() !== "localhost")
        return "//" + host + path;
    if (/^\/[A-Za-z]:/.test(path))
        path = path.substring(1);
    return path;
}

// The save dialog's filters: only Windows can run, and so list, installers.
export function installerNameFilters(os) {
    return isWindows(os) ? ["Installer (*.exe)"] : ["All files (*)"];
}
