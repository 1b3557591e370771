#pragma once

// A folder whose disk runs full on fill(): a 64 KiB tmpfs where the test may
// mount one, else a file-size limit for the whole process (EFBIG past room(),
// SIGXFSZ ignored) until release(). QV_TEST_FULL_DISK=limit skips the mount.

#include <QDir>
#include <QFile>
#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>

class FullDisk
{
public:
    explicit FullDisk(const QString &parent) : m_path(parent + QStringLiteral("/full-disk"))
    {
        QDir().mkpath(m_path);
        m_tmpfs =
            qgetenv("QV_TEST_FULL_DISK") != "limit" &&
            ::mount("tmpfs", QFile::encodeName(m_path).constData(), "tmpfs", 0, "size=64k") == 0;
    }
    ~FullDisk()
    {
        release();
        if (m_tmpfs)
            ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH);
    }
    Q_DISABLE_COPY(FullDisk)

    QString path() const { return m_path; }
    // A save must need more than this, and at most 16 KiB to meet a write buffer.
    static constexpr qint64 room() { return 1024; }

    // False when neither way works: the test skips then.
    bool fill()
    {
        if (m_tmpfs) {
            QFile filler(m_path + QStringLiteral("/.filler"));
            if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
                return false;
            while (filler.write(QByteArray(4096, 'f')) > 0) {
            }
            return filler.error() == QFile::ResourceError;
        }
        if (::getrlimit(RLIMIT_FSIZE, &m_oldLimit) != 0)
            return false;
        rlimit small = m_oldLimit;
        small.rlim_cur = rlim_t(room());
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        m_limited = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
        return m_limited;
    }

    void release()
    {
        if (m_tmpfs)
            QFile::remove(m_path + QStringLiteral("/.filler"));
        if (m_limited && ::setrlimit(RLIMIT_FSIZE, &m_oldLimit) == 0) {
            std::signal(SIGXFSZ, m_oldHandler);
            m_limited = false;
        }
    }

private:
    QString m_path;
    bool m_tmpfs = false;
    bool m_limited = false;
    rlimit m_oldLimit{};
    void (*m_oldHandler)(int) = SIG_DFL;
};
