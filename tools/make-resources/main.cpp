// Draws every image in resources/ and writes the files there. The artwork is
// code so that it can be changed and regenerated rather than hand-edited.
//
//   QT_QPA_PLATFORM=offscreen make-resources [--preview DIR] RESOURCES_DIR

#include "artwork.h"
#include "encoding.h"
#include "preview.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QStringList>

#include <cstdio>
#include <vector>

using namespace artwork;

namespace {

// Largest first: the preview reads the images back by their place in this list.
const int iconSizes[] = {256, 48, 32, 16};

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QStringList args = QGuiApplication::arguments().mid(1);
    QString previewDir;
    if (args.size() >= 2 && args.first() == QLatin1String("--preview")) {
        previewDir = args.at(1);
        args = args.mid(2);
    }
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: make-resources [--preview DIR] RESOURCES_DIR\n");
        return 2;
    }
    const QDir dir(args.first());
    if (!dir.exists()) {
        std::fprintf(stderr, "make-resources: no directory %s\n", qPrintable(args.first()));
        return 1;
    }

    bool ok = writePng(dir.filePath(QStringLiteral("headerLogo.png")), headerLogo());
    ok = writePng(dir.filePath(QStringLiteral("set16.png")), appIcon(16)) && ok;
    ok = writePng(dir.filePath(QStringLiteral("set32.png")), appIcon(32)) && ok;

    std::vector<QImage> app_images;
    for (int size : iconSizes)
        app_images.push_back(appIcon(size));
    ok = writeIco(dir.filePath(QStringLiteral("app.ico")), app_images) && ok;

    for (const DocumentGroup &group : documentGroups) {
        std::vector<QImage> images;
        for (int size : iconSizes)
            images.push_back(documentIcon(size, group.accent));
        ok = writeIco(dir.filePath(QStringLiteral("doc%1.ico").arg(group.id)), images) && ok;
    }

    if (ok && !previewDir.isEmpty())
        ok = writePreview(previewDir, dir.path());
    return ok ? 0 : 1;
}
