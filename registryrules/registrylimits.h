#pragma once

#include <QtGlobal>

// The Windows registry's limits on names, in UTF-16 units. Longer names are
// refused, by the registry and by its stand-in alike.
constexpr qsizetype maxKeyNameLength = 255;
constexpr qsizetype maxValueNameLength = 16383;
// Levels of keys below a hive.
constexpr qsizetype maxKeyDepth = 512;
