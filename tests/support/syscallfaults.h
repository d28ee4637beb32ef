#pragma once

// Fails one system call of SQLite's, chosen by number, through the unix
// VFS's table of replaceable calls: every call that changes a file or its
// mapping is counted while a SyscallFaults lives, and the Nth fails with
// the errno given (or, with SIGKILL as the errno, the process dies there).
// Walking N = 1, 2, ... until an operation makes fewer than N calls visits
// every point at which the disk can refuse it, in order and without timing.
// The registry emulator reaches the same libsqlite3, so its saves are seen.

#include <QStringList>

#include <sqlite3.h>

#include <cerrno>
#include <csignal>
#include <sys/mman.h>
#include <sys/types.h>
#include <type_traits>

namespace syscallfaults {

// The calls that can refuse a write, as SQLite names them. Those a build of
// SQLite lacks are left out; fsync and fdatasync are not replaceable in
// any, so no walk reaches them.
constexpr const char *names[] = {"open",      "write",  "pwrite", "pwrite64", "ftruncate",
                                 "fallocate", "unlink", "mmap",   "munmap",   "fchmod",
                                 "fchown",    "mkdir",  "rmdir"};
constexpr int count = int(sizeof names / sizeof *names);

inline sqlite3_syscall_ptr originals[count] = {};
inline int failAt = 0, calls = 0, error = 0;
inline QStringList met; // the name of each call counted, in order

// Whether this call is the one to fail.
inline bool strike(int which)
{
    met.append(QLatin1String(names[which]));
    if (++calls != failAt)
        return false;
    if (error == SIGKILL)
        ::raise(SIGKILL);
    errno = error;
    return true;
}

template <int I, typename R, typename... A> R call(A... a)
{
    if (strike(I)) {
        if constexpr (std::is_pointer_v<R>)
            return reinterpret_cast<R>(MAP_FAILED);
        else
            return R(-1);
    }
    return reinterpret_cast<R (*)(A...)>(originals[I])(a...);
}

} // namespace syscallfaults

class SyscallFaults
{
public:
    // failAt 0 only counts.
    SyscallFaults(int failAt, int error)
    {
        using namespace syscallfaults;
        using P = sqlite3_syscall_ptr;
        const P replacements[count] = {
            P(call<0, int, const char *, int, int>),
            P(call<1, ssize_t, int, const void *, size_t>),
            P(call<2, ssize_t, int, const void *, size_t, off_t>),
            P(call<3, ssize_t, int, const void *, size_t, off64_t>),
            P(call<4, int, int, off_t>),
            P(call<5, int, int, off_t, off_t>),
            P(call<6, int, const char *>),
            P(call<7, void *, void *, size_t, int, int, int, off_t>),
            P(call<8, int, void *, size_t>),
            P(call<9, int, int, mode_t>),
            P(call<10, int, int, uid_t, gid_t>),
            P(call<11, int, const char *, mode_t>),
            P(call<12, int, const char *>),
        };
        syscallfaults::failAt = failAt;
        syscallfaults::error = error;
        syscallfaults::calls = 0;
        syscallfaults::met.clear();
        for (int i = 0; i < syscallfaults::count; ++i) {
            originals[i] = vfs->xGetSystemCall(vfs, names[i]);
            if (originals[i])
                vfs->xSetSystemCall(vfs, names[i], replacements[i]);
        }
    }
    ~SyscallFaults()
    {
        for (int i = 0; i < syscallfaults::count; ++i)
            if (syscallfaults::originals[i])
                vfs->xSetSystemCall(vfs, syscallfaults::names[i], syscallfaults::originals[i]);
    }
    SyscallFaults(const SyscallFaults &) = delete;
    SyscallFaults &operator=(const SyscallFaults &) = delete;

    // Calls counted so far; fewer than failAt means none was failed.
    int calls() const { return syscallfaults::calls; }
    bool struck() const { return syscallfaults::failAt > 0 && calls() >= syscallfaults::failAt; }
    QString failed() const { return syscallfaults::met.value(syscallfaults::failAt - 1); }

private:
    sqlite3_vfs *const vfs = sqlite3_vfs_find(nullptr);
};
