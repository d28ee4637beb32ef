// Which descriptors of registry files the process holds, and for how many
// stores, so that none is closed while a store of any thread is on it.

#include "filehold.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// Every descriptor a FileHold holds, by file, with how many holds share
// it; a file opened twice by a race keeps both until the last hold goes.
struct HeldFile
{
    std::vector<int> descriptors;
    int holds = 0;
};
std::mutex heldFilesMutex;
std::map<std::pair<dev_t, ino_t>, HeldFile> &heldFiles()
{
    static std::map<std::pair<dev_t, ino_t>, HeldFile> files;
    return files;
}

} // namespace

FileHold FileHold::acquire(const QByteArray &path, bool create, struct stat *st)
{
    const std::lock_guard<std::mutex> locked(heldFilesMutex);
    auto &files = heldFiles();
    FileHold hold;
    if (::lstat(path.constData(), st) == 0 && S_ISREG(st->st_mode)) {
        const auto it = files.find({st->st_dev, st->st_ino});
        if (it != files.end() && ::fstat(it->second.descriptors.front(), st) == 0) {
            ++it->second.holds;
            hold.device = st->st_dev;
            hold.inode = st->st_ino;
            hold.descriptor = it->second.descriptors.front();
            return hold;
        }
    }
    int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    // Created here, not by SQLite, so that it is owner-only from its first
    // byte; the descriptor that made it is the one held.
    if (fd < 0 && errno == ENOENT && create)
        fd = ::open(path.constData(), O_CREAT | O_EXCL | O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST && create)
        fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return hold;
    if (::fstat(fd, st) != 0) {
        const int error = errno;
        ::close(fd); // nobody's lock can be on a file no hold has
        errno = error;
        return hold;
    }
    HeldFile &file = files[{st->st_dev, st->st_ino}];
    file.descriptors.push_back(fd);
    ++file.holds;
    hold.device = st->st_dev;
    hold.inode = st->st_ino;
    hold.descriptor = fd;
    return hold;
}

FileHold &FileHold::operator=(FileHold &&other) noexcept
{
    if (this != &other) {
        release();
        device = other.device;
        inode = other.inode;
        descriptor = std::exchange(other.descriptor, -1);
    }
    return *this;
}

void FileHold::release()
{
    if (descriptor < 0)
        return;
    descriptor = -1;
    const std::lock_guard<std::mutex> locked(heldFilesMutex);
    auto &files = heldFiles();
    const auto it = files.find({device, inode});
    if (it == files.end() || --it->second.holds > 0)
        return;
    for (const int fd : it->second.descriptors)
        ::close(fd);
    files.erase(it);
}
