#include "formatcatalogue.h"

#include <FreeImage.h>

namespace {

// FreeImage's strings are plain 8-bit text, and it answers null for a format it
// does not know.
QString fromFreeImage(const char *text)
{
    return text ? QString::fromLatin1(text) : QString();
}

FREE_IMAGE_FORMAT toFif(int fif)
{
    return static_cast<FREE_IMAGE_FORMAT>(fif);
}

QStringList splitExtensions(const QString &list)
{
    return list.split(QLatin1Char(','), Qt::SkipEmptyParts, Qt::CaseSensitive);
}

} // namespace

int formatCount()
{
    return FreeImage_GetFIFCount();
}

QString formatName(int fif)
{
    return fromFreeImage(FreeImage_GetFormatFromFIF(toFif(fif)));
}

QString formatDescription(int fif)
{
    return fromFreeImage(FreeImage_GetFIFDescription(toFif(fif)));
}

QString extensionListString(int fif)
{
    return fromFreeImage(FreeImage_GetFIFExtensionList(toFif(fif)));
}

QStringList extensionsOfFormat(int fif)
{
    return splitExtensions(extensionListString(fif));
}

QStringList allExtensions()
{
    // Joined first and split once, so that a format with an empty list adds
    // nothing rather than an empty extension.
    QString joined;
    const int count = formatCount();
    for (int fif = 0; fif < count; ++fif) {
        joined += extensionListString(fif);
        joined += QLatin1Char(',');
    }
    return splitExtensions(joined);
}

QStringList allExtensionFilters()
{
    QStringList filters;
    const QStringList extensions = allExtensions();
    filters.reserve(extensions.size());
    for (const QString &extension : extensions)
        filters.append(QLatin1String("*.") + extension);
    return filters;
}

QBitArray flattenSelection(const SelectionList &list)
{
    qsizetype total = 0;
    for (const FormatSelection &entry : list)
        total += entry.selected.size();

    QBitArray flat(total);
    qsizetype at = 0;
    for (const FormatSelection &entry : list) {
        for (qsizetype i = 0; i < entry.selected.size(); ++i, ++at) {
            if (entry.selected.testBit(i))
                flat.setBit(at);
        }
    }
    return flat;
}

int compareSelections(const QBitArray &a, const QBitArray &b)
{
    if (a.size() < b.size())
        return -1;
    for (qsizetype i = 0; i < b.size(); ++i) {
        const bool inA = a.testBit(i);
        const bool inB = b.testBit(i);
        if (inA && !inB)
            return -1;
        if (!inA && inB)
            return 1;
    }
    return 0;
}
