#pragma once

#include <QString>

// Opens a URI with the handler the shell has for its scheme, as Explorer
// does for a link ("ms-settings:defaultapps" opens Settings' page); false
// when the shell could not.
bool openUri(const QString &uri);
