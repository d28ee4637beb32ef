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

std::optional<Hive> hiveNamed(const QString &name)
{
    const QString root = foldName(name);
    if (root == QLatin1String("HKEY_LOCAL_MACHINE") || root == QLatin1String("HKLM"))
        return Hive::LocalMachine;
    if (root == QLatin1String("HKEY_CURRENT_USER") || root == QLatin1String("HKCU"))
        return Hive::CurrentUser;
    if (root == QLatin1String("HKEY_CLASSES_ROOT") || root == QLatin1String("HKCR"))
        return Hive::ClassesRoot;
    return std::nullopt;
}

std::optional<RegKeyPath> parseKeyPath(const QString &path)
{
    QString p = path;
    p.replace(QLatin1Char('/'), QLatin1Char('\\'));
    QStringList parts = p.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return std::nullopt;
    const auto hive = hiveNamed(parts.takeFirst());
    if (!hive)
        return std::nullopt;
    return RegKeyPath{*hive, parts};
}
