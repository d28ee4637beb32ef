#include "associationservice.h"
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
