// The one case fold of registry names, the same in every build: stored keys
// and values are found by their fold, so it must never change with the
// toolkit. Windows, too, folds names with a fixed table of its own rather than
// the running program's Unicode version.
//
// The table is the upper case of each UTF-16 unit on its own as Unicode 13
// gives it: a unit's simple upper-case mapping where that is one BMP unit;
// a unit that Unicode upper-cases to more than one (sharp s, or alpha with
// ypogegrammeni) stays as it is, and so do surrogate halves. Frozen: letters
// that later Unicode versions give a case (U+2C5F, U+A7C1, ...) fold to
// themselves for good. It was produced once by running Qt 5.15's
// QChar::toUpper over 0..0xFFFF (Qt 5.15 is on Unicode 13, the older of the
// toolkits built here, so every name its builds stored keeps its fold) and
// collapsing the units it changes into runs of one offset; it is never
// regenerated from a newer toolkit.

#include "registrynames.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace {

// Units first..last, or every other one of them when step is 2, upper-case
// to unit + delta; the runs are the data of regkeyfold.txt.
struct FoldRun
{
    char16_t first;
    char16_t last;
    std::int32_t delta;
    std::int32_t step;
};

constexpr FoldRun foldRuns[] = {
#include "regkeyfold_runs.inc"
};

char16_t foldUnit(char16_t c)
{
    // Most names are ASCII: spare them the search.
    if (c < 0x80)
        return c >= u'a' && c <= u'z' ? char16_t(c - 0x20) : c;
    const auto after = std::upper_bound(std::begin(foldRuns), std::end(foldRuns), c,
                                        [](char16_t u, const FoldRun &r) { return u < r.first; });
    if (after == std::begin(foldRuns))
        return c;
    const FoldRun &run = *std::prev(after);
    if (c > run.last || (c - run.first) % run.step != 0)
        return c;
    return char16_t(c + run.delta);
}

} // namespace

QString foldName(const QString &name)
{
    QString folded = name;
    for (QChar &c : folded)
        c = QChar(foldUnit(c.unicode()));
    return folded;
}
