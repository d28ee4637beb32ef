#pragma once

// The icon groups in Pellvarin.exe, for whatever names one in a registry
// "path,-id" (a negative index names a group by its resource id). The
// document icon of the format whose FreeImage id is n is group 200 + n, where
// the program has one; pellvarin.rc holds them.
constexpr int applicationIconGroup = 100;
constexpr int documentIconGroups[] = {200, 201, 203, 214, 218, 219, 221, 225, 226, 227, 230, 231};

constexpr int iconGroupOfFormat(int fif)
{
    for (const int group : documentIconGroups) {
        if (group == 200 + fif)
            return group;
    }
    return applicationIconGroup;
}
