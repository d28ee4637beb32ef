#pragma once

#include <QByteArray>

#include <sys/stat.h>
#include <sys/types.h>
#include <utility>

// The process's one descriptor of a registry file, shared by the stores of
// every thread open on it and closed with the last of them: closing any
// descriptor of a file drops every lock the process holds on it, another
// thread's connection's included, and the lock a connection holds for as
// long as it uses the write-ahead log is what keeps another program from
// deleting the log under it.
class FileHold
{
public:
    FileHold() = default;
    // The file at path (which must not be a link), opened read-only, or
    // created owner-only when create is set and it is missing; fd() is -1,
    // with errno set, when it could not be. *st is the file's status.
    static FileHold acquire(const QByteArray &path, bool create, struct stat *st);
    FileHold(FileHold &&other) noexcept { *this = std::move(other); }
    FileHold &operator=(FileHold &&other) noexcept;
    FileHold(const FileHold &) = delete;
    FileHold &operator=(const FileHold &) = delete;
    ~FileHold() { release(); }

    int fd() const { return descriptor; }

private:
    dev_t device = 0;
    ino_t inode = 0;
    int descriptor = -1;
    void release();
};
