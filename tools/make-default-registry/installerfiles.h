#pragma once

#include <QByteArray>
#include <QString>

// The viewer's registration as its installer takes it: a WiX 3 fragment with
// every file of the Windows folder DIST (component group PellvarinFiles) and
// the machine-wide registration (PellvarinRegistration), for an installer
// that defines the directory INSTALLDIR and the variables PellvarinDist and
// ViewerExe. Empty, with the reason in *error, when a file cannot be named.
QByteArray wixFragment(const QString &dist, const QString &generatedFrom, QString *error);

// The administrators' default associations file, which DISM and Group
// Policy apply: one Association per extension the viewer declares.
QByteArray defaultAssociations(const QString &generatedFrom);
