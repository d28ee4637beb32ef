// Stands in for the selector tool beside the engine's tests: it proves that
// it ran, and with which arguments, then exits at once. Plain C++ so that it
// starts fast and depends on nothing the engine could break.

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char **argv)
{
    const char *marker = std::getenv("PELLVARIN_FAKE_MARKER");
    if (!marker || !*marker)
        return 2;
    // Written aside and renamed into place, so that a test polling for the
    // marker never reads it half-written.
    const std::string partial = std::string(marker) + ".partial";
    std::FILE *f = std::fopen(partial.c_str(), "w");
    if (!f)
        return 1;
    std::fprintf(f, "%d\n", argc - 1);
    for (int i = 1; i < argc; ++i)
        std::fprintf(f, "%s\n", argv[i]);
    if (std::fclose(f) != 0)
        return 1;
    return std::rename(partial.c_str(), marker) == 0 ? 0 : 1;
}
