#pragma once

#include <QString>

// The Windows releases the engine tells apart, and the one it runs on. Each
// release is known by the NT version it reports and, where two share one,
// by the build; the engine's decisions compare the release's number in Qt
// 5's QSysInfo::WinVersion numbering, which rises with every release. A new
// rule asks for a release by its id below: no other file compares numbers.

enum class WindowsReleaseId {
    Nt4,
    Windows2000,
    WindowsXP,
    WindowsServer2003,
    WindowsVista,
    Windows7,
    Windows8,
    Windows8_1,
    Windows10,
    Windows11
};

// Which value of the version key holds a release's NT version: from 10 on
// "CurrentVersion" stays at 6.3 for old programs, and the true numbers are
// DWORDs beside it.
enum class NtVersionValue { CurrentVersion, VersionNumbers };

struct WindowsRelease
{
    WindowsReleaseId id;
    const char *name;
    int ntMajor;
    int ntMinor;
    int winVersion;
    // The first build, where an earlier release reports the same NT version.
    int firstBuild;
    NtVersionValue versionValue;
};

// Oldest first. Windows 11 reports NT 10.0 like 10, and shares its number.
inline constexpr WindowsRelease windowsReleases[] = {
    {WindowsReleaseId::Nt4, "NT 4", 4, 0, 0x10, 0, NtVersionValue::CurrentVersion},
    {WindowsReleaseId::Windows2000, "2000", 5, 0, 0x20, 0, NtVersionValue::CurrentVersion},
    {WindowsReleaseId::WindowsXP, "XP", 5, 1, 0x30, 0, NtVersionValue::CurrentVersion},
    {WindowsReleaseId::WindowsServer2003, "Server 2003", 5, 2, 0x40, 0,
     NtVersionValue::CurrentVersion},
    {WindowsReleaseId::WindowsVista, "Vista", 6, 0, 0x80, 0, NtVersionValue::CurrentVersion},
    {WindowsReleaseId::Windows7, "7", 6, 1, 0x90, 0, NtVersionValue::CurrentVersion},
    {WindowsReleaseId::Windows8, "8", 6, 2, 0xa0, 0, NtVersionValue::CurrentVersion},
    {WindowsReleaseId::Windows8_1, "8.1", 6, 3, 0xb0, 0, NtVersionValue::CurrentVersion},
    {WindowsReleaseId::Windows10, "10", 10, 0, 0xc0, 0, NtVersionValue::VersionNumbers},
    {WindowsReleaseId::Windows11, "11", 10, 0, 0xc0, 22000, NtVersionValue::VersionNumbers},
};

constexpr const WindowsRelease &windowsRelease(WindowsReleaseId id)
{
    return windowsReleases[int(id)];
}

namespace windowsversion_detail {
// Lookups index by id, and the ordered comparisons below hold only if
// numbers rise with releases. The reader of the substitute registry takes
// the numbers before CurrentVersion, which is right only while the
// releases that keep them are the newest.
constexpr bool releasesInOrder()
{
    const int count = int(sizeof windowsReleases / sizeof windowsReleases[0]);
    for (int i = 0; i < count; ++i) {
        const WindowsRelease &r = windowsReleases[i];
        if (int(r.id) != i)
            return false;
        if (i == 0)
            continue;
        const WindowsRelease &p = windowsReleases[i - 1];
        const bool later = r.ntMajor != p.ntMajor   ? r.ntMajor > p.ntMajor
                           : r.ntMinor != p.ntMinor ? r.ntMinor > p.ntMinor
                                                    : r.firstBuild > p.firstBuild;
        if (!later || r.winVersion < p.winVersion ||
            (p.versionValue == NtVersionValue::VersionNumbers &&
             r.versionValue != NtVersionValue::VersionNumbers))
            return false;
    }
    return true;
}
static_assert(releasesInOrder(), "windowsReleases must be in release order, indexed by id");
} // namespace windowsversion_detail

// The number of the release with that NT version: 5.1 gives 0x30, 6.0 0x80,
// 10.0 0xc0. A version no release has counts, within its NT major, as the
// release below it (6.4 as 8.1), and otherwise as the next release (7 to 9
// as 10, NT 3 as NT 4), or the newest past them all.
int winVersionFromNt(int major, int minor);

// The number of the running Windows, which the engine's mode decisions
// compare.
int windowsVersion();

// The build number of the running Windows, 0 when unknown. Windows 10 and 11
// both report NT 10.0; only the build tells them apart.
int windowsBuild();

// Where the engine's behaviour changes.
// Vista and later own the choice of defaults themselves.
constexpr bool isWindowsVistaOrLater(int winVersion)
{
    return winVersion >= windowsRelease(WindowsReleaseId::WindowsVista).winVersion;
}
// From Windows 8 an application can no longer make itself the default, and
// of the registration service only QueryCurrentDefault still answers
// reliably.
constexpr bool isWindows8OrLater(int winVersion)
{
    return winVersion >= windowsRelease(WindowsReleaseId::Windows8).winVersion;
}
// From Windows 10 the defaults are chosen in Settings.
constexpr bool isWindows10OrLater(int winVersion)
{
    return winVersion >= windowsRelease(WindowsReleaseId::Windows10).winVersion;
}
// Windows 11's Settings opens an application's own page of defaults; it is
// told from 10, which reports the same NT version, by its build alone.
constexpr bool isWindows11OrLaterBuild(int windowsBuild)
{
    return windowsBuild >= windowsRelease(WindowsReleaseId::Windows11).firstBuild;
}

// The version key, where Windows keeps its version for programs that read
// the registry, and where the substitute reads which Windows it stands in
// for; the releases above say which of its values holds theirs.
struct WindowsVersionKey
{
    QString path =
        QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
    QString currentVersion = QStringLiteral("CurrentVersion");
    QString majorNumber = QStringLiteral("CurrentMajorVersionNumber");
    QString minorNumber = QStringLiteral("CurrentMinorVersionNumber");
    QString buildNumber = QStringLiteral("CurrentBuildNumber"); // a string, "22621" for instance
};
inline const WindowsVersionKey windowsVersionKey;
