#include "defaultprograms.h"
#include "selectassocwidget.h"

#include <QApplication>

// The resource bundle registers itself during static initialisation, being
// compiled into this executable.
//
// No COM initialisation of our own: on Windows, Qt's platform integration
// calls OleInitialize on the GUI thread while the application object is
// created, so the association service below runs in a single-threaded
// apartment.
int main(int argc, char **argv)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 always scales the window to the screen's DPI, by the exact
    // factor, and takes icon pixmaps for that scale. Qt 5, which Windows 7 and 8.1
    // get, does so only when told before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
#endif
    QApplication app(argc, argv);

    if (isVistaOrLater()) {
        // Windows owns the choice here; its own page makes it.
        launchAssociationPage();
        QCoreApplication::quit();
        return 0;
    }

    SelectAssocWidget window(nullptr);
    window.setVisible(true);
    return app.exec();
}
