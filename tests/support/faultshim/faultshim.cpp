// Stands in for fsync and the renaming calls, and passes each on to the C
// library's own unless the environment asks for a fault (read at every call):
//   QV_FAULT_FSYNC=fail       fsync fails with EIO
//   QV_FAULT_FSYNC=hang       fsync never returns (the process waits to be killed)
//   QV_FAULT_TAKE_NAME=<path> just before a rename or link to <path>, another
//                             writer puts a file there holding "taken"
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

template <typename Function> Function next(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

bool faultIs(const char *variable, const char *value)
{
    const char *set = getenv(variable);
    return set && std::strcmp(set, value) == 0;
}

void takeFirst(const char *destination)
{
    const char *name = getenv("QV_FAULT_TAKE_NAME");
    if (!name || std::strcmp(name, destination) != 0)
        return;
    const int fd = open(destination, O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0)
        return;
    const ssize_t written = write(fd, "taken", 5);
    (void)written;
    close(fd);
}

} // namespace

extern "C" {

int fsync(int fd)
{
    if (faultIs("QV_FAULT_FSYNC", "fail")) {
        errno = EIO;
        return -1;
    }
    while (faultIs("QV_FAULT_FSYNC", "hang"))
        pause();
    static const auto real = next<int (*)(int)>("fsync");
    return real(fd);
}

int rename(const char *from, const char *to)
{
    takeFirst(to);
    static const auto real = next<int (*)(const char *, const char *)>("rename");
    return real(from, to);
}

int renameat(int fromDir, const char *from, int toDir, const char *to)
{
    takeFirst(to);
    static const auto real = next<int (*)(int, const char *, int, const char *)>("renameat");
    return real(fromDir, from, toDir, to);
}

int renameat2(int fromDir, const char *from, int toDir, const char *to, unsigned int flags)
{
    takeFirst(to);
    static const auto real =
        next<int (*)(int, const char *, int, const char *, unsigned int)>("renameat2");
    return real(fromDir, from, toDir, to, flags);
}

int link(const char *from, const char *to)
{
    takeFirst(to);
    static const auto real = next<int (*)(const char *, const char *)>("link");
    return real(from, to);
}

int linkat(int fromDir, const char *from, int toDir, const char *to, int flags)
{
    takeFirst(to);
    static const auto real = next<int (*)(int, const char *, int, const char *, int)>("linkat");
    return real(fromDir, from, toDir, to, flags);
}

} // extern "C"
