#include "engine.h"
#include "formatcatalogue.h"

#include <cstdio>
#include <QApplication>

// Uses the installed engine the way a viewer would: the format lists for its
// file dialogs, and the current associations on a machine without the viewer.
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList filters = allExtensionFilters();
    if (formatCount() <= 0 || filters.size() != allExtensions().size() ||
        !filters.contains(QStringLiteral("*.png"))) {
        std::fprintf(stderr, "consumer: the format lists are wrong\n");
        return 1;
    }
    bool allDefault = true;
    const SelectionList current = queryCurrentAssociations(&allDefault);
    if (!current.isEmpty() || allDefault) {
        std::fprintf(stderr, "consumer: an empty registry reported associations\n");
        return 1;
    }
    std::printf("consumer: %d formats, %d filters\n", formatCount(), int(filters.size()));
    return 0;
}
