#pragma once

// A small file system of a test's own (tmpfs) in a temporary folder, to
// fill to the last block or to turn read-only. Only root may mount one: a
// test that needs it skips, saying why, where isMounted() is false. It is
// detached on every way out, even while a file on it is still open.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

class ScratchMount
{
public:
    // A mebibyte: room for a registry, and quickly filled.
    ScratchMount()
    {
        if (!dir.isValid())
            why = QStringLiteral("no temporary folder to mount on");
        else if (::mount("tmpfs", where().constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                         "size=1m,mode=0700") != 0)
            why = QStringLiteral("only root can mount a file system (%1)")
                      .arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    ~ScratchMount()
    {
        if (isMounted())
            ::umount2(where().constData(), MNT_DETACH);
    }
    ScratchMount(const ScratchMount &) = delete;
    ScratchMount &operator=(const ScratchMount &) = delete;

    bool isMounted() const { return why.isEmpty(); }
    // Why it is not, for QSKIP.
    QByteArray whyNot() const { return why.toUtf8(); }
    QString filePath(const QString &name) const { return dir.filePath(name); }

    // Fills it with "fill", whose removal makes room again.
    bool fill() const
    {
        const int fd = ::open(QFile::encodeName(filePath(QStringLiteral("fill"))).constData(),
                              O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const QByteArray block(4096, 'x');
        while (fd >= 0 && ::write(fd, block.constData(), size_t(block.size())) > 0) {
        }
        const bool full = fd >= 0 && errno == ENOSPC;
        if (fd >= 0)
            ::close(fd);
        return full;
    }

    bool setReadOnly(bool readOnly) const
    {
        return ::mount(nullptr, where().constData(), nullptr,
                       MS_REMOUNT | MS_NOSUID | MS_NODEV | (readOnly ? MS_RDONLY : 0),
                       nullptr) == 0;
    }

private:
    QByteArray where() const { return QFile::encodeName(dir.path()); }

    QTemporaryDir dir;
    QString why;
};
