#include "wholefile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSysInfo>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <qt_windows.h>
#endif

namespace wholefile {

namespace {

enum class Commit
{
    Done,
    Taken,
    Failed
};

// Something stands at the name, a dangling link included.
bool taken(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// Where the content of a replacing save goes, or empty with `error` set.
QString replaceTarget(const QString &path, Links links, QString *error)
{
    QFileInfo info(path);
    if (links == Links::Follow && info.isSymLink()) {
        // A dangling link is replaced itself: following it would create a
        // file in a folder nobody chose.
        const QString target = info.canonicalFilePath();
        if (!target.isEmpty())
            info.setFile(target);
    }
    // A folder, a pipe or a device is never replaced, nor written into.
    if (!info.isSymLink() && info.exists() && !info.isFile()) {
        *error = QStringLiteral("Not a regular file");
        return {};
    }
    return info.filePath();
}

// Names the machine in the names of parts, so that one written by another
// machine into a shared folder is never taken for one of a process here.
QString machineTag()
{
    static const QString tag = [] {
        QByteArray id = QSysInfo::machineUniqueId();
        if (id.isEmpty())
            id = QSysInfo::machineHostName().toUtf8();
        return QString::fromLatin1(
            QCryptographicHash::hash(id, QCryptographicHash::Sha1).toHex().left(8));
    }();
    return tag;
}

// A part is ".<target name>.<pid>-<machine>-<random>.part".
const QRegularExpression &partPattern()
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\..*\\.([0-9]{1,10})-([0-9a-z]+)-[0-9a-z]+\\.part$"));
    return pattern;
}

bool processHasEnded(qint64 pid)
{
#if defined(Q_OS_UNIX)
    return pid > 0 && pid <= INT_MAX && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
#elif defined(Q_OS_WIN)
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return GetLastError() == ERROR_INVALID_PARAMETER;
    DWORD code = 0;
    const bool ended = GetExitCodeProcess(process, &code) && code != STILL_ACTIVE;
    CloseHandle(process);
    return ended;
#else
    Q_UNUSED(pid);
    return false;
#endif
}

// A writer killed mid-save leaves its part behind, and nothing else would
// ever remove it; one of a writer still running is left alone.
void removeDeadParts(const QString &folder)
{
    const QFileInfoList parts = QDir(folder).entryInfoList(
        {QStringLiteral(".*.part")}, QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo &part : parts) {
        const QRegularExpressionMatch match = partPattern().match(part.fileName());
        if (match.hasMatch() && match.captured(2) == machineTag() &&
            processHasEnded(match.captured(1).toLongLong()))
            QFile::remove(part.filePath());
    }
}

// A new, empty file beside `target`, under a hidden name of its own, that
// only its owner may read until it takes its final mode.
bool openBeside(QFile &file, const QString &target)
{
    const QFileInfo info(target);
    const QString stem = info.absolutePath() + QLatin1String("/.") + info.fileName().left(64) +
                         QLatin1Char('.') + QString::number(QCoreApplication::applicationPid()) +
                         QLatin1Char('-') + machineTag() + QLatin1Char('-');
    for (int attempt = 0; attempt < 16; ++attempt) {
        file.setFileName(stem + QString::number(QRandomGenerator::global()->generate(), 36) +
                         QLatin1String(".part"));
        // Unbuffered: a write that does not fit fails here, not in a flush
        // whose failure nobody hears of.
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered,
                      QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            return true;
        if (!taken(file.fileName()))
            return false;
    }
    return false;
}

#if defined(Q_OS_UNIX)
mode_t creationMask()
{
#if defined(Q_OS_LINUX)
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
            bool ok = false;
            const uint mask = line.startsWith("Umask:") ? line.mid(6).trimmed().toUInt(&ok, 8) : 0;
            if (ok)
                return mode_t(mask);
        }
    }
#endif
    // Read only by setting it; the stricter value meanwhile errs on the safe side.
    const mode_t mask = ::umask(0077);
    ::umask(mask);
    return mask;
}

// The mode a file at `target` ends with: the exact one of the file it
// replaces, or the one a newly made file gets.
mode_t finalMode(const QString &target, Existing existing)
{
    struct stat old;
    if (existing == Existing::Replace &&
        ::lstat(QFile::encodeName(target).constData(), &old) == 0 && S_ISREG(old.st_mode))
        return old.st_mode & 07777;
    return 0666 & ~creationMask();
}
#endif

bool writeParts(QFile &file, const std::vector<QByteArray> &parts, QString *error)
{
    for (const QByteArray &part : parts) {
        const char *data = part.constData();
        qint64 left = part.size();
        // A short write is followed by one more, which then says why.
        while (left > 0) {
            const qint64 written = file.write(data, left);
            if (written <= 0) {
                *error = file.errorString();
                return false;
            }
            data += written;
            left -= written;
        }
    }
    return true;
}

bool syncToDisk(QFile &file, QString *error)
{
#if defined(Q_OS_UNIX)
    // Some file systems report a lack of room only here.
    if (::fsync(file.handle()) != 0 && errno != EINVAL && errno != EOPNOTSUPP) {
        *error = qt_error_string(errno);
        return false;
    }
#else
    Q_UNUSED(file);
    Q_UNUSED(error);
#endif
    return true;
}

Commit moveOver(const QString &from, const QString &to, QString *error)
{
#if defined(Q_OS_UNIX)
    // A link at `to` is replaced, never followed.
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return Commit::Done;
    *error = qt_error_string(errno);
#elif defined(Q_OS_WIN)
    if (MoveFileExW(reinterpret_cast<const wchar_t *>(from.utf16()),
                    reinterpret_cast<const wchar_t *>(to.utf16()),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Commit::Done;
    *error = qt_error_string(int(GetLastError()));
#else
    QFile::remove(to);
    QFile file(from);
    if (file.rename(to))
        return Commit::Done;
    *error = file.errorString();
#endif
    return Commit::Failed;
}

// Gives `from` the name `to` only while nothing stands there, in one step
// where the system allows it, so a name taken meanwhile is never replaced.
Commit moveToFreeName(const QString &from, const QString &to, QString *error)
{
#if defined(Q_OS_UNIX)
    const QByteArray source = QFile::encodeName(from);
    const QByteArray destination = QFile::encodeName(to);
#if defined(RENAME_NOREPLACE)
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, destination.constData(),
                    RENAME_NOREPLACE) == 0)
        return Commit::Done;
    if (errno == EEXIST)
        return Commit::Taken;
#endif
    if (::link(source.constData(), destination.constData()) == 0) {
        ::unlink(source.constData());
        return Commit::Done;
    }
    if (errno == EEXIST)
        return Commit::Taken;
    // No hard links here (some removable media): checked, then moved.
    if (taken(to))
        return Commit::Taken;
    return moveOver(from, to, error);
#elif defined(Q_OS_WIN)
    if (MoveFileExW(reinterpret_cast<const wchar_t *>(from.utf16()),
                    reinterpret_cast<const wchar_t *>(to.utf16()), MOVEFILE_WRITE_THROUGH))
        return Commit::Done;
    const DWORD code = GetLastError();
    if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS)
        return Commit::Taken;
    *error = qt_error_string(int(code));
    return Commit::Failed;
#else
    if (taken(to))
        return Commit::Taken;
    QFile file(from);
    if (file.rename(to))
        return Commit::Done;
    *error = file.errorString();
    return Commit::Failed;
#endif
}

} // namespace

Result write(const SaveName &name, const std::vector<QByteArray> &parts, Existing existing,
             Links links)
{
    Result result{QString(), unusableReason(name)};
    if (!result.ok())
        return result;
    QString target = name.path();
    if (existing == Existing::Replace) {
        target = replaceTarget(target, links, &result.error);
        if (!result.ok())
            return result;
    }

    removeDeadParts(QFileInfo(target).absolutePath());

    QFile file;
    bool committed = false;
    const auto discard = qScopeGuard([&file, &committed] {
        if (committed || file.fileName().isEmpty())
            return;
        file.close();
        QFile::remove(file.fileName());
    });

    if (!openBeside(file, target)) {
        result.error = file.errorString();
        file.setFileName(QString()); // nothing of ours to remove
        return result;
    }
    if (!writeParts(file, parts, &result.error) || !syncToDisk(file, &result.error))
        return result;
#if defined(Q_OS_UNIX)
    // A failure leaves the file owner-only: more private, never less.
    ::fchmod(file.handle(), finalMode(target, existing));
#else
    if (existing == Existing::Replace) {
        const QFileInfo old(target);
        if (old.isFile() && !old.isSymLink())
            file.setPermissions(old.permissions());
    }
#endif
    file.close();

    if (existing == Existing::Replace) {
        if (moveOver(file.fileName(), target, &result.error) != Commit::Done)
            return result;
        result.path = target;
    } else {
        for (int n = 0; result.path.isEmpty(); ++n) {
            if (n > maxNumbered) {
                result.error = QStringLiteral("No free file name beside %1").arg(name.path());
                return result;
            }
            const QString candidate = n == 0 ? name.path() : name.numbered(n);
            if (taken(candidate))
                continue;
            const Commit commit = moveToFreeName(file.fileName(), candidate, &result.error);
            if (commit == Commit::Failed)
                return result;
            if (commit == Commit::Done)
                result.path = candidate;
        }
    }
    committed = true;
    return result;
}

Result write(const QString &path, const QByteArray &bytes, Existing existing, Links links)
{
    return write(saveNameOf(path), std::vector<QByteArray>{bytes}, existing, links);
}

} // namespace wholefile
