// What went wrong with the registry file, told once: a file refused says
// why and then stays silent, and a write or read that failed is named by
// what SQLite and the system met.

#include "filesafety.h"
#include "registrystore_p.h"

#include <QDir>
#include <QFile>
#include <QtDebug>

#include <cerrno>
#include <sys/resource.h>
#include <sys/statvfs.h>

namespace {

bool logsProblems = true;

// Whether a write that failed without saying why most likely found no room:
// SQLite keeps the errno of a failed journal write to itself, but a file size
// limit in force or a disk without a free block tells what it was.
bool noRoomLeft(const QByteArray &folder)
{
    struct rlimit limit;
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        return true;
    struct statvfs fs;
    return ::statvfs(folder.constData(), &fs) == 0 && fs.f_bavail == 0;
}

} // namespace

// SQLite tells a full disk apart, but a file size limit only by errno.
bool outOfRoom(int code, int error, const QByteArray &folder)
{
    const int primary = code & 0xff;
    return primary == SQLITE_FULL ||
           (primary == SQLITE_IOERR && (error == ENOSPC || error == EFBIG || error == EDQUOT)) ||
           (code == SQLITE_IOERR_WRITE && error == 0 && noRoomLeft(folder));
}

RegistryStore::Problem RegistryStore::problem() const
{
    return d->problem;
}

QString RegistryStore::problemText() const
{
    return d->problemText;
}

void RegistryStore::setLogsProblems(bool logs)
{
    logsProblems = logs;
}

void RegistryStore::Private::setProblem(Problem kind, const QString &text)
{
    problem = kind;
    problemText = text;
}

void RegistryStore::Private::refuse(Problem kind, const QString &why)
{
    if (!usable && refused)
        return; // said once is enough
    refused = true;
    usable = false;
    writable = false;
    openPending = false;
    const QString file = QDir::toNativeSeparators(fileName);
    setProblem(kind, fileName.isEmpty()
                         ? QStringLiteral("the registry %1").arg(why)
                         : QStringLiteral("%1 is not a usable registry: it %2").arg(file, why));
    if (!logsProblems)
        return;
    const QString subject = fileName.isEmpty() ? QStringLiteral("The registry")
                                               : QStringLiteral("Registry file ") + file;
    qWarning().noquote() << QStringLiteral("%1 %2; it reads as empty and nothing will be "
                                           "written to it.")
                                .arg(subject, why);
}

bool RegistryStore::Private::noteFailure(bool reading)
{
    if (refused)
        return false; // the refusal says why
    if (errors.damaged) {
        refuse(Problem::Damaged, QStringLiteral("is damaged"));
        return false;
    }
    const int primary = errors.code & 0xff;
    const int error = errors.systemErrno;
    const QString file = QDir::toNativeSeparators(fileName);
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
        setProblem(Problem::Busy,
                   QStringLiteral("another program is using the registry %1; try again when it "
                                  "is done")
                       .arg(file));
        if (logsProblems && !busyLogged)
            qWarning().noquote() << QStringLiteral("Registry file %1 is locked: another program "
                                                   "is using it, so %2.")
                                        .arg(file, reading ? QStringLiteral("it could not be read")
                                                           : QStringLiteral("nothing was written"));
        busyLogged = true;
        return true;
    }
    if (reading) {
        setProblem(Problem::Other, QStringLiteral("the registry %1 could not be read").arg(file));
        return false;
    }
    if (outOfRoom(errors.code, error, folderOf(QFile::encodeName(fileName))))
        setProblem(Problem::DiskFull,
                   QStringLiteral("the disk is full: the registry %1 cannot grow").arg(file));
    else if (primary == SQLITE_READONLY || primary == SQLITE_PERM ||
             (primary == SQLITE_IOERR && (error == EACCES || error == EROFS || error == EPERM)))
        setProblem(Problem::ReadOnly, QStringLiteral("the registry %1 is read-only").arg(file));
    else
        setProblem(Problem::Other,
                   QStringLiteral("the registry %1 could not be written").arg(file));
    return false;
}

// Told as a failed write is, before a rollback can overwrite the codes.
void RegistryStore::Private::refuseUninitialised()
{
    if (outOfRoom(sqlite3_extended_errcode(db), sqlite3_system_errno(db), folderOf(path)))
        refuse(Problem::DiskFull, QStringLiteral("could not be initialised: the disk is full"));
    else
        refuse(Problem::Unusable, QStringLiteral("could not be initialised"));
}

void RegistryStore::Private::refuseUnreadable()
{
    const int code = sqlite3_extended_errcode(db);
    const int error = sqlite3_system_errno(db);
    // A write cut short left a journal that must be played back before
    // the file can be read, and only a writable file can be.
    if (code == SQLITE_READONLY_ROLLBACK)
        refuse(Problem::ReadOnly,
               QStringLiteral("is read-only, and its journal %1 holds a write that was cut "
                              "short: only a writable file can be rolled back (chmod u+w)")
                   .arg(QFile::decodeName(path + "-journal")));
    else if ((code & 0xff) == SQLITE_NOTADB)
        refuse(Problem::Unusable, QStringLiteral("is not a database"));
    else
        refuse(Problem::Unusable,
               QStringLiteral("cannot be read: %1%2")
                   .arg(QString::fromUtf8(sqlite3_errstr(code)),
                        error ? QStringLiteral(" (%1)").arg(systemError(error)) : QString()));
}

void RegistryStore::Private::failRead()
{
    ++readFailures;
    // A file that could not even be opened has said why already.
    if (usable)
        noteFailure(true);
}
