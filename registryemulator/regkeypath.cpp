#include "regkeypath.h"

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
