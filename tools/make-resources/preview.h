// A contact sheet of the written files, for looking the artwork over by eye.

#pragma once

#include <QString>

namespace artwork {

// Reads the files back from resources and draws them into dir as a few PNG
// sheets, on light and dark grounds and enlarged; returns false when a sheet
// cannot be written.
bool writePreview(const QString &dir, const QString &resources);

} // namespace artwork
