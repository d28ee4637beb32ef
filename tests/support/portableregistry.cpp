#include "portableregistry.h"

#include "formatcatalogue.h"
#include "registrylayout.h"
#include "registrysettings.h"

#include <QtTest>

namespace {

const QString defaultName = QStringLiteral("Default");

QString valueName(const QString &name)
{
    return name.isEmpty() ? defaultName : name;
}

// QSettings on Windows creates the key it is opened on at its first use,
// even to read, while a group entered below it is only opened. Reads
// therefore open the deepest key of the layout that always exists and enter
// the rest, so that looking leaves no key behind.
class Reader
{
public:
    explicit Reader(const QString &path) : settings(anchorOf(path))
    {
        // Groups are separated by "/": a "\\" would be part of one name.
        QString rest = path.mid(anchorOf(path).size() + 1);
        rest.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (!rest.isEmpty())
            settings.beginGroup(rest);
    }
    RegistrySettings *operator->() { return &settings; }

private:
    RegistrySettings settings;

    static QString anchorOf(const QString &path)
    {
        for (const QString &anchor :
             {userFileExtsPath, machineClassesPath, userClassesPath, mergedClassesPath}) {
            if (path.compare(anchor, Qt::CaseInsensitive) == 0 ||
                path.startsWith(anchor + QLatin1Char('\\'), Qt::CaseInsensitive))
                return path.left(anchor.size());
        }
        return path;
    }
};

void dumpInto(const QString &path, QStringList &lines)
{
    Reader key(path);
    lines.append(QLatin1Char('[') + path + QLatin1Char(']'));
    for (const QString &name : key->childKeys()) {
        const QVariant value = key->value(name);
        lines.append(name + QLatin1Char('=') + QString::fromLatin1(value.typeName()) +
                     QLatin1Char(':') + value.toString());
    }
    for (const QString &sub : key->childGroups())
        dumpInto(path + QLatin1Char('\\') + sub, lines);
}

// The keys of a classes root that the association layout speaks of: the
// viewer's ProgIds and the table's extensions.
bool isLayoutKey(const QString &name)
{
    return name.startsWith(QLatin1String("Talvimor."), Qt::CaseInsensitive) ||
           (name.startsWith(QLatin1Char('.')) &&
            allExtensions().contains(name.mid(1), Qt::CaseInsensitive));
}

void dumpLayoutKeys(const QString &root, QStringList &lines)
{
    for (const QString &name : Reader(root)->childGroups()) {
        if (isLayoutKey(name))
            dumpInto(root + QLatin1Char('\\') + name, lines);
    }
}

} // namespace

void PortableRegistry::checkMachine() const
{
    // A test that has failed already has said what went wrong.
    if (!QTest::currentTestFailed())
        QCOMPARE(machineLines(), machineSeed);
}

bool PortableRegistry::set(const QString &path, const QString &name, const QString &value)
{
    RegistrySettings key(path);
    key.setValue(valueName(name), value);
    if (path.startsWith(QLatin1String("HKEY_LOCAL_MACHINE"), Qt::CaseInsensitive))
        machineSeed = machineLines();
    return key.status() == QSettings::NoError;
}

bool PortableRegistry::createKey(const QString &path)
{
    // Settings create keys only by writing into them.
    const QString probe = QStringLiteral("PortableRegistry.createKey");
    if (!set(path, probe, QString()))
        return false;
    RegistrySettings key(path);
    key.remove(probe);
    if (path.startsWith(QLatin1String("HKEY_LOCAL_MACHINE"), Qt::CaseInsensitive))
        machineSeed = machineLines();
    return key.status() == QSettings::NoError;
}

std::optional<QString> PortableRegistry::get(const QString &path, const QString &name) const
{
    Reader key(path);
    if (!key->contains(valueName(name)))
        return std::nullopt;
    return key->value(valueName(name)).toString();
}

bool PortableRegistry::exists(const QString &path) const
{
    const int cut = path.lastIndexOf(QLatin1Char('\\'));
    if (cut < 0)
        return true;
    return Reader(path.left(cut))->childGroups().contains(path.mid(cut + 1), Qt::CaseInsensitive);
}

QStringList PortableRegistry::valueNames(const QString &path) const
{
    QStringList names = Reader(path)->childKeys();
    for (QString &name : names) {
        if (name == QLatin1String("."))
            name.clear();
    }
    std::sort(names.begin(), names.end());
    return names;
}

QStringList PortableRegistry::subkeyNames(const QString &path) const
{
    return Reader(path)->childGroups();
}

QStringList PortableRegistry::dump(const QString &path) const
{
    QStringList lines;
    dumpInto(path, lines);
    return lines;
}

QStringList PortableRegistry::everything() const
{
    QStringList lines = machineLines();
    dumpLayoutKeys(userClassesPath, lines);
    dumpInto(userFileExtsPath, lines);
    return lines;
}

QStringList PortableRegistry::machineLines() const
{
    QStringList lines;
    dumpLayoutKeys(machineClassesPath, lines);
    return lines;
}
