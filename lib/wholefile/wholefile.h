#pragma once

// Every file the program saves is written here: completely, or not at all
// with the reason given back and whatever stood at the name left as it was.
// The bytes go to a new, owner-only file beside the target, are flushed and
// synced with every error checked, and only then take their final mode (that
// of the file replaced) and the target's name. The next save beside it removes
// what a writer killed mid-save left.

#include "savename.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace wholefile {

enum class Existing
{
    Replace, // a file of that name is replaced
    Keep     // nothing is replaced: the name, or the first free numbered one
};

enum class Links
{
    Follow, // a link to a file writes that file
    Never   // a link is never written through
};

struct Result
{
    QString path;  // the file written
    QString error; // empty on success

    bool ok() const { return error.isEmpty(); }
};

// The file's content is `parts`, one after the other. A name is free only when
// nothing at all stands there: a dangling link takes a name too.
Result write(const SaveName &name, const std::vector<QByteArray> &parts, Existing existing,
             Links links);
Result write(const QString &path, const QByteArray &bytes, Existing existing, Links links);

} // namespace wholefile
