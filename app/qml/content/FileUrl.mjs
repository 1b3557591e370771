// Turning local paths into file URLs.

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
