// Pure helpers of the pages, kept apart so they can be tested alone.

import { fileUrlFromPath } from "./FileUrl.mjs";

// The terms document in the folder the program started in.
export function termsDocumentUrl(applicationPath) {
    let folder = String(applicationPath);
    while (folder.length > 1 && folder.endsWith("/"))
        folder = folder.substring(0, folder.length - 1);
    const base = fileUrlFromPath(folder);
    return (base.endsWith("/") ? base : base + "/") + "T%26Cs.pdf";
}

// The save dialog's filters: the download is the same installer on every
// platform.
export function installerNameFilters() {
    return ["Installer (*.exe)"];
}
