#include "engine.h"

#include "associationservice.h"
#include "formatlist.h"

#include <QCoreApplication>
#include <QDir>
#include <QListWidget>
#include <QProcess>
#include <QtDebug>

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

void makeAppDefaultForAllFormats(bool *ok)
{
    if (!isAppInstalled()) {
        qDebug("makeAppDefaultForAllFormats: app not installed");
        if (ok)
            *ok = false;
        return;
    }
    if (isVistaOrLater()) {
        makeAppDefaultThroughService(ok);
        return;
    }
    QListWidget work;
    SelectionList selection;
    fillFormatList(&work, &selection);
    for (int row = 0; row < work.count(); ++row)
        work.item(row)->setData(Qt::CheckStateRole, int(Qt::Checked));
    const bool applied = applyFormatList(&work);
    if (ok)
        *ok = applied;
}

SelectionList queryCurrentAssociations(bool *allDefault)
{
    SelectionList list;
    if (!isAppInstalled()) {
        if (allDefault)
            *allDefault = false;
        return list;
    }
    bool flag;
    if (isVistaOrLater()) {
        flag = queryDefaultsThroughService(&list);
    } else {
        QListWidget work;
        flag = fillFormatList(&work, &list);
    }
    if (allDefault)
        *allDefault = flag;
    return list;
}
