#include "engine.h"
#include "formatcatalogue.h"

#include <cstdio>
#include <QApplication>

// Uses the installed engine the way a viewer would: the format lists for its
// file dialogs, and the current associations, whose formats are those the
// viewer's installation registered.
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
    std::printf("consumer: %d formats, %d filters, %d registered, all %d\n", formatCount(),
                int(filters.size()), int(current.size()), int(allDefault));
    return 0;
}
