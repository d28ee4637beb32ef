#include "registration.h"

#include "icongroups.h"
#include "identity.h"
#include "windowsassociations.h"

#include <QStringList>

#include <FreeImage.h>

#include <set>

namespace {

// Below HKEY_LOCAL_MACHINE, as RegisteredApplications names it.
const QString capabilitiesKey =
    QStringLiteral("Software\\") + productName + u"\\Image Viewer\\Capabilities";
const QString classes = machineClassesPath.section(u'\\', 1) + u'\\';
const QString capabilitiesComponent = QStringLiteral("Capabilities");

} // namespace

QVector<RegistrationValue> viewerRegistration(const Spelling &spelling)
{
    const auto literal = spelling.literal;
    QVector<RegistrationValue> values;
    const auto add = [&](const QString &component, const QString &key, const QString &name,
                         const QString &data) {
        values.append({component, literal(key), literal(name), data});
    };

    const QString app = literal(registeredAppName);
    add(capabilitiesComponent, registeredApplicationsPath.section(u'\\', 1), registeredAppName,
        literal(capabilitiesKey));
    add(capabilitiesComponent, capabilitiesKey, QStringLiteral("ApplicationName"), app);
    add(capabilitiesComponent, capabilitiesKey, QStringLiteral("ApplicationDescription"),
        literal(
            QStringLiteral("Views the image formats that FreeImage reads, from BMP to JPEG XR.")));

    const QString pellvarin = spelling.installDir + literal(QStringLiteral("Pellvarin.exe,-"));
    const QString open = QLatin1Char('"') + spelling.installDir + spelling.viewerExe +
                         literal(QStringLiteral("\" \"%1\""));
    // An extension two formats share (pbm for PBM and PBMRAW) is declared for
    // the first; both may open it.
    std::set<QString> declared;
    for (int fif = 0; fif < FreeImage_GetFIFCount(); ++fif) {
        const auto format = static_cast<FREE_IMAGE_FORMAT>(fif);
        const QString progId =
            progIdPrefix + QString::fromLatin1(FreeImage_GetFormatFromFIF(format));
        add(progId, classes + progId, QString(),
            literal(QString::fromLatin1(FreeImage_GetFIFDescription(format))));
        add(progId, classes + progId + QStringLiteral("\\DefaultIcon"), QString(),
            pellvarin + QString::number(iconGroupOfFormat(fif)));
        add(progId, classes + progId + QStringLiteral("\\shell\\open\\command"), QString(), open);
        const QStringList extensions =
            QString::fromLatin1(FreeImage_GetFIFExtensionList(format)).split(QLatin1Char(','));
        for (const QString &ext : extensions) {
            if (ext.isEmpty())
                continue;
            const QString dotted = QLatin1Char('.') + ext;
            add(progId, classes + dotted + u'\\' + openWithProgIdsKey, progId, QString());
            if (declared.insert(ext).second)
                add(capabilitiesComponent, capabilitiesKey + u'\\' + fileAssociationsKey, dotted,
                    literal(progId));
        }
    }
    return values;
}

QVector<Association> declaredAssociations(const QVector<RegistrationValue> &registration)
{
    const QString key = capabilitiesKey + u'\\' + fileAssociationsKey;
    QVector<Association> pairs;
    for (const RegistrationValue &v : registration) {
        if (v.key == key)
            pairs.append({v.name, v.data});
    }
    return pairs;
}
