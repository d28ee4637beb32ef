#pragma once

#include <QString>
#include <QVector>

// What the viewer's installation registers, machine-wide, from FreeImage's
// format table: one list of values that every form of it is written from
// (the default machine, the installer's fragment, the administrators'
// defaults file), so that no two forms can differ.

// How a form spells what only the installation knows: the folder it installs
// into, with its trailing separator, and the viewer's program there; and
// how it writes any other text, which an installer may have to escape.
struct Spelling
{
    QString installDir;
    QString viewerExe;
    QString (*literal)(const QString &text) = [](const QString &text) { return text; };
};

struct RegistrationValue
{
    QString component; // the values installed and removed together
    QString key;       // below HKEY_LOCAL_MACHINE
    QString name;      // empty: the key's default value
    QString data;      // always a string (REG_SZ)
};

// Needs FreeImage initialised.
QVector<RegistrationValue> viewerRegistration(const Spelling &spelling);

// The capabilities' FileAssociations, ".ext" -> ProgId: what the viewer
// declares to Windows' default programs, and exactly the pairs the
// administrators' file names.
struct Association
{
    QString extension;
    QString progId;
};
QVector<Association> declaredAssociations(const QVector<RegistrationValue> &registration);
