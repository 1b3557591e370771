// Turning local paths into file URLs and back, shared by the pages that use
// file dialogs.

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

// The local file name of a "file:" URL (given as text or url), the way
// QUrl::toLocalFile reads it: percent escapes decoded, query and fragment
// dropped, a Windows drive path without its leading slash, a host kept as a
// UNC prefix. Anything that is not a file URL gives "".
export function localFile(url, windows) {
    const text = String(url === undefined || url === null ? "" : url)
    if (text.slice(0, 5).toLowerCase() !== "file:")
        return ""
    let rest = text.slice(5)
    const end = rest.search(/[?#]/)
    if (end >= 0)
        rest = rest.slice(0, end)
    let host = ""
    if (rest.slice(0, 2) === "//") {
        rest = rest.slice(2)
        const slash = rest.indexOf("/")
        host = slash < 0 ? rest : rest.slice(0, slash)
        rest = slash < 0 ? "" : rest.slice(slash)
    }
    let path
    try {
        path = decodeURIComponent(rest)
    } catch (e) {
        path = rest
    }
    if (host !== "" && host.toLowerCase() !== "localhost")
        return "//" + decodeURIComponent(host) + path
    if (windows && /^\/[A-Za-z]:/.test(path))
        path = path.slice(1)
    return path
}
