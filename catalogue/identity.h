#pragma once

#include <QString>

// Whom this tool works for, named once: the viewer's product, the name the
// viewer registers with Windows' default programs (and which every call of
// the association service is given), and the start of every ProgId the
// viewer owns ("Talvimor.PNG" for PNG).
inline const QString productName = QStringLiteral("Talvimor");
inline const QString registeredAppName = productName + QStringLiteral(" Image Viewer");
inline const QString progIdPrefix = productName + QLatin1Char('.');
