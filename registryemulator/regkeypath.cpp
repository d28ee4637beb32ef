#include "regkeypath.h"

namespace {

// SQLite keeps names as UTF-8 and takes a leading U+FEFF of UTF-16 text for
// a byte-order mark: such a name would come back as another.
bool storableName(QStringView name)
{
    return name.isValidUtf16() && !name.startsWith(QChar(0xFEFF)) && !name.contains(QChar(0));
}

} // namespace

RegKeyPath RegKeyPath::child(const QString &name) const
{
    RegKeyPath p = *this;
    p.parts.append(name);
    return p;
}

QString RegKeyPath::toString() const
{
    QStringList all{hiveName(hive)};
    all += parts;
    return all.join(QLatin1Char('\\'));
}

QString hiveName(Hive hive)
{
    switch (hive) {
    case Hive::LocalMachine:
        return QStringLiteral("HKEY_LOCAL_MACHINE");
    case Hive::CurrentUser:
        return QStringLiteral("HKEY_CURRENT_USER");
    case Hive::ClassesRoot:
        return QStringLiteral("HKEY_CLASSES_ROOT");
    }
    return QString();
}

std::optional<RegKeyPath> parseKeyPath(const QString &path)
{
    QString p = path;
    p.replace(QLatin1Char('/'), QLatin1Char('\\'));
    QStringList parts = p.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return std::nullopt;
    const QString root = foldName(parts.takeFirst());
    RegKeyPath key;
    if (root == QLatin1String("HKEY_LOCAL_MACHINE") || root == QLatin1String("HKLM"))
        key.hive = Hive::LocalMachine;
    else if (root == QLatin1String("HKEY_CURRENT_USER") || root == QLatin1String("HKCU"))
        key.hive = Hive::CurrentUser;
    else if (root == QLatin1String("HKEY_CLASSES_ROOT") || root == QLatin1String("HKCR"))
        key.hive = Hive::ClassesRoot;
    else
        return std::nullopt;
    key.parts = parts;
    return key;
}

bool isValidKeyName(QStringView name)
{
    return !name.isEmpty() && name.size() <= maxKeyNameLength && !name.contains(u'\\') &&
           storableName(name);
}

bool isWritableName(QStringView name)
{
    return !name.contains(u'\n') && !name.contains(u'\r');
}

bool isValidValueName(QStringView name)
{
    return name.size() <= maxValueNameLength && storableName(name);
}
