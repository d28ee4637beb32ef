// The files the tool is pointed at from the command line: where export -o
// may write, and the arguments it is given.

#include "targetfiles.h"

#include "regvalue.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Where writing to path lands: every symbolic link followed, the last one
// too even when what it names is not there yet, as QSaveFile follows them.
QString linkedTo(QString path)
{
    for (int hops = 0; hops < 40 && QFileInfo(path).isSymLink(); ++hops)
        path = QFileInfo(path).symLinkTarget();
    return path;
}

} // namespace

// Whether path is the registry or a journal that SQLite plays into it, told
// by device and inode: a hard link, a bind mount or another case on a
// case-insensitive file system reach the same file by another path. A
// journal that is not there now is known by its folder and name, since a
// file made there would be taken for one, whatever link leads there.
bool namesTheRegistry(const QString &given, const QString &registry)
{
    const QString path = linkedTo(given);
    const auto statOf = [](const QString &file, struct stat *st) {
        return ::stat(QFile::encodeName(file).constData(), st) == 0;
    };
    const auto same = [](const struct stat &a, const struct stat &b) {
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    };
    // SQLite names the journals after the file that symbolic links lead to.
    QStringList files;
    for (const QString &base : {registry, QFileInfo(registry).canonicalFilePath()}) {
        for (const char *suffix : {"", "-journal", "-wal", "-shm"}) {
            if (!base.isEmpty())
                files.append(base + QLatin1String(suffix));
        }
    }
    struct stat target, st;
    if (statOf(path, &target))
        return std::any_of(files.cbegin(), files.cend(), [&](const QString &file) {
            return statOf(file, &st) && same(st, target);
        });
    const QFileInfo made(path);
    struct stat folder;
    if (!statOf(made.absolutePath(), &folder))
        return false;
    return std::any_of(files.cbegin(), files.cend(), [&](const QString &file) {
        const QFileInfo journal(file);
        return journal.fileName() == made.fileName() && statOf(journal.absolutePath(), &st) &&
               same(st, folder);
    });
}

// What is not a regular file (a device, a pipe) is written into, as regedit
// writes into NUL: renaming a file over it would leave a file where the
// device was, and the pipe's reader with nothing. A pipe waits for its
// reader. None when the target is, or turns out to be, a regular file or
// none at all, which is written aside and renamed instead.
std::optional<QString> writeIntoSpecialFile(const QString &path, const QByteArray &bytes)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (::stat(name.constData(), &st) != 0 || S_ISREG(st.st_mode))
        return std::nullopt;
    const auto failed = [&path](int error) {
        return QStringLiteral("cannot write %1: %2")
            .arg(path, QString::fromLocal8Bit(std::strerror(error)));
    };
    const int fd = ::open(name.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return failed(errno);
    // Replaced by a regular file since: writing into that would leave the
    // end of what it held.
    if (::fstat(fd, &st) != 0 || S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    // A reader that leaves early is a failed write, said, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            ::close(fd);
            return failed(error);
        }
        done += n;
    }
    if (::close(fd) != 0 && errno != EINTR)
        return failed(errno);
    return QString();
}

// The argument as the UTF-8 it must be; none for bytes that are not.
// QString::fromUtf8 would drop a leading U+FEFF as a byte-order mark, and
// the name would land under another one.
std::optional<QString> fromStrictUtf8(QByteArray bytes)
{
    const QByteArray bom("\xef\xbb\xbf");
    QString text;
    while (bytes.startsWith(bom)) {
        text += QChar(0xFEFF);
        bytes = bytes.mid(bom.size());
    }
    const QString rest = QString::fromUtf8(bytes);
    // Whatever was not UTF-8 came back as U+FFFD, which re-encodes otherwise.
    if (rest.toUtf8() != bytes)
        return std::nullopt;
    return text + rest;
}

// Names in messages, cut so that a 16,383-character one stays readable.
QString shortened(const QString &name)
{
    constexpr qsizetype shown = 60;
    return name.size() <= shown ? name : name.left(shown) + QStringLiteral("...");
}

// -n before KEY: NAME as the registry holds it, for values whose names
// the settings and regedit take for the unnamed one.
bool takeLiteralNameOption(QStringList *args)
{
    if (args->isEmpty() ||
        (args->first() != QLatin1String("-n") && args->first() != QLatin1String("--literal-name")))
        return false;
    args->removeFirst();
    return true;
}

// As the settings spell the unnamed value, and as regedit does.
QString valueName(const QString &arg, bool literal)
{
    return !literal && (arg == QLatin1String("@") || namesDefaultValue(arg)) ? QString() : arg;
}
