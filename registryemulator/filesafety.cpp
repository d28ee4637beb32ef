// Who besides us could change a registry file. A file that others can
// change is no registry of ours: what it holds decides what opens every
// file type.

#include "filesafety.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace {

// Root can change everything anyway; anyone else but us is another user.
bool ours(uid_t owner)
{
    return owner == ::geteuid() || owner == 0;
}

// Whether gid is owner's own group with nobody else in it. Where every user
// has such a group, umask 002 makes new folders and files group-writable
// without opening them to anyone. Others are in a group when it lists them
// or when it is their primary group; any doubt counts as someone else.
bool privateGroup(uid_t owner, gid_t gid)
{
    const struct passwd *pw = ::getpwuid(owner);
    if (!pw || pw->pw_gid != gid)
        return false;
    const QByteArray name(pw->pw_name);
    const struct group *gr = ::getgrgid(gid);
    if (!gr)
        return false;
    for (char **member = gr->gr_mem; member && *member; ++member) {
        if (name != *member)
            return false;
    }
    bool alone = true;
    ::setpwent();
    for (;;) {
        errno = 0;
        const struct passwd *other = ::getpwent();
        if (!other) {
            alone = errno == 0 || errno == ENOENT;
            break;
        }
        if (other->pw_gid == gid && other->pw_uid != owner) {
            alone = false;
            break;
        }
    }
    ::endpwent();
    return alone;
}

// Whether anyone but the owner may write what st describes.
bool writableByOthers(const struct stat &st)
{
    if (st.st_mode & S_IWOTH)
        return true;
    return (st.st_mode & S_IWGRP) && !privateGroup(st.st_uid, st.st_gid);
}

FileSafety unsafe(const QString &why)
{
    return {false, why};
}

} // namespace

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash > 0 ? path.left(slash) : QByteArray("/");
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(strerror(error));
}

// Its own folder must be closed to others: a journal planted there is
// played into the file on its next opening, sticky bit or not. Above it, a
// folder others can write is safe only with the sticky bit, which keeps
// them from replacing what they do not own.
FileSafety foldersSafety(const QByteArray &path)
{
    QByteArray child = path;
    for (bool own = true;; own = false) {
        const QByteArray dir = folderOf(child);
        const QString name = QFile::decodeName(dir);
        struct stat st;
        if (::stat(dir.constData(), &st) != 0)
            return unsafe(QStringLiteral("cannot be checked: its folder %1 cannot be read (%2)")
                              .arg(name, systemError(errno)));
        if (!ours(st.st_uid))
            return unsafe(QStringLiteral("can be changed by other users: its folder %1 belongs "
                                         "to user %2")
                              .arg(name)
                              .arg(st.st_uid));
        if (writableByOthers(st)) {
            struct stat entry;
            const bool guarded = !own && (st.st_mode & S_ISVTX) &&
                                 ::lstat(child.constData(), &entry) == 0 && ours(entry.st_uid);
            if (!guarded)
                return unsafe(QStringLiteral("can be changed by other users: its folder %1 can "
                                             "be written by others")
                                  .arg(name));
        }
        if (dir == "/")
            return {};
        child = dir;
    }
}

// The journals count as the file: SQLite plays them into it.
FileSafety fileSafety(const QByteArray &path, const struct stat &opened)
{
    if (!ours(opened.st_uid))
        return unsafe(QStringLiteral("can be changed by other users: it belongs to user %1")
                          .arg(opened.st_uid));
    // Whoever can write the file decides what opens every file type; a file
    // that others can write is no registry of ours (chmod 600 mends it).
    if (writableByOthers(opened))
        return unsafe(QStringLiteral("can be written by other users"));
    for (const char *suffix : {"-journal", "-wal", "-shm"}) {
        const QByteArray journal = path + suffix;
        const QString name = QFile::decodeName(journal);
        struct stat js;
        if (::lstat(journal.constData(), &js) != 0) {
            if (errno == ENOENT)
                continue;
            return unsafe(QStringLiteral("cannot be checked: its journal %1 cannot be read (%2)")
                              .arg(name, systemError(errno)));
        }
        if (!S_ISREG(js.st_mode))
            return unsafe(QStringLiteral("can be changed by other users: its journal %1 is not "
                                         "a plain file")
                              .arg(name));
        if (!ours(js.st_uid))
            return unsafe(QStringLiteral("can be changed by other users: its journal %1 belongs "
                                         "to user %2")
                              .arg(name)
                              .arg(js.st_uid));
        if (writableByOthers(js))
            return unsafe(QStringLiteral("can be changed by other users: its journal %1 can be "
                                         "written by others")
                              .arg(name));
    }
    return {};
}
