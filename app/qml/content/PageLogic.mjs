// Pure helpers of the pages, kept apart so they can be tested alone.

import { fileUrlFromPath, localFile } from "./FileUrl.mjs";

function isWindows(os) {
    return os === "windows" || os === "winrt";
}

// The terms document in the folder the program started in.
export function termsDocumentUrl(applicationPath) {
    let folder = String(applicationPath);
    while (folder.length > 1 && folder.endsWith("/"))
        folder = folder.substring(0, folder.length - 1);
    const base = fileUrlFromPath(folder);
    return (base.endsWith("/") ? base : base + "/") + "T%26Cs.pdf";
}

// The local path of the download file chosen in the save dialog; a URL of
// another scheme is kept as it is, so the download still names a target.
export function downloadPath(url, os) {
    const path = localFile(url, isWindows(os));
    return path === "" ? String(url) : path;
}

// The save dialog's filters: the download is the same installer on every
// platform.
export function installerNameFilters() {
    return ["Installer (*.exe)"];
}
