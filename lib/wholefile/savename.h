#pragma once

#include <QString>

namespace wholefile {

// A name to save under, split the way saved files are named: the folder, the
// file name up to its first dot, and the rest. ".csv" has an empty base and
// still names a file inside its folder.
struct SaveName
{
    QString folder;    // absolute, without a trailing separator
    QString base;      // the file name up to its first dot
    QString extension; // "." and everything after the first dot; empty without a dot

    QString path() const;
    // The n-th alternative when the name is taken: base + "_" + n.
    QString numbered(int n) const;
};

// Numbered names tried before a save gives up: a folder that holds them all
// points to a fault, not to the user's files.
constexpr int maxNumbered = 9999;

// Why no file can be written under this name ("" when one can): the system
// ends a name at a NUL, which would make it another file's.
QString unusableReason(const SaveName &name);

// A "file:" URL (as file dialogs give) or a plain path, as a local path.
QString localPathOf(const QString &fileNameOrUrl);

SaveName saveNameOf(const QString &fileNameOrUrl);

// The extension for one of two files saved under one name: the last part of
// `extension` becomes `wanted` when it names either text format, otherwise
// `wanted` is added, so the two never share a name.
QString pairedExtension(const QString &extension, const QString &wanted);

} // namespace wholefile
