#include "engine.h"

#include "defaultprograms.h"
#include "formatlist.h"
#include "registrysettings.h"

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QProcess>
#include <QtDebug>
#include <QThread>

bool launchSelectorTool()
{
    const bool installed = isAppInstalled();
    // Without an application object there is no directory of the caller,
    // and the path would fall back to the root of the file system.
    if (!QCoreApplication::instance()) {
        qDebug("launchSelectorTool: no application object, so no directory to start from");
        return false;
    }
    // Only the tool beside the caller: an absolute path, no search path and
    // no shell, so nothing else of that name can be started instead.
    const QString program = QCoreApplication::applicationDirPath() + QDir::separator() +
                            QStringLiteral(PELLVARIN_TOOL_EXECUTABLE);
    const bool started = QProcess::startDetached(program, QStringList());
    return installed && started;
}

namespace {

// Where a call goes, read under one snapshot, so that a registry that
// cannot be read is told apart from a viewer that is not installed.
struct Route
{
    bool readable = false;
    bool installed = false;
    bool vista = false;
};

// The per-user path works on a list widget, which only a QApplication can
// make, and only on its own thread; anywhere else Qt would abort the caller.
bool widgetsCanBeMade(const char *entryPoint)
{
    const auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    if (app && QThread::currentThread() == app->thread())
        return true;
    qDebug("%s: the per-user registry needs a QApplication, on its own thread", entryPoint);
    return false;
}

Route route()
{
    const RegistrySnapshot snapshot;
    Route r;
    r.installed = isAppInstalled();
    r.vista = isVistaOrLater();
    r.readable = snapshot.isComplete();
    return r;
}

} // namespace

void makeAppDefaultForAllFormats(bool *ok)
{
    const Route r = route();
    if (!r.readable || !r.installed) {
        qDebug(r.readable ? "makeAppDefaultForAllFormats: app not installed"
                          : "makeAppDefaultForAllFormats: the registry could not be read");
        if (ok)
            *ok = false;
        return;
    }
    if (r.vista) {
        makeAppDefaultThroughService(ok);
        return;
    }
    if (!widgetsCanBeMade("makeAppDefaultForAllFormats")) {
        if (ok)
            *ok = false;
        return;
    }
    QListWidget work;
    SelectionList selection;
    // A list with rows missing would associate only those and still say
    // done.
    bool allAssociated = false;
    if (!readFormatList(&work, &selection, &allAssociated)) {
        qDebug("makeAppDefaultForAllFormats: the registry could not be read");
        if (ok)
            *ok = false;
        return;
    }
    for (int row = 0; row < work.count(); ++row)
        work.item(row)->setData(Qt::CheckStateRole, int(Qt::Checked));
    const bool applied = applyFormatList(&work);
    if (ok)
        *ok = applied;
}

SelectionList queryCurrentAssociations(bool *allDefault)
{
    SelectionList list;
    bool flag = false;
    {
        // One state for all of it; a read that could not be done makes the
        // whole answer a failure, never an empty or partial list.
        const RegistrySnapshot snapshot;
        const Route r = route();
        if (r.installed && r.vista)
            flag = queryDefaultsThroughService(&list);
        else if (r.installed && widgetsCanBeMade("queryCurrentAssociations")) {
            QListWidget work;
            flag = fillFormatList(&work, &list);
        }
        if (!snapshot.isComplete()) {
            qDebug("queryCurrentAssociations: the registry could not be read");
            list.clear();
            flag = false;
        }
    }
    if (allDefault)
        *allDefault = flag;
    return list;
}
