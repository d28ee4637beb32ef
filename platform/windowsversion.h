#pragma once

// The running Windows version in the numbering of Qt 5's QSysInfo::WinVersion
// (0x30 XP, 0x80 Vista, 0x90 Windows 7, ... 0xc0 Windows 10), which the
// engine's mode decisions compare against.
int windowsVersion();

// That number for an NT version: 5.1 gives 0x30, 6.0 0x80, 10.0 0xc0.
int winVersionFromNt(int major, int minor);

// The build number of the running Windows, 0 when unknown. Windows 10 and 11
// both report NT 10.0; only the build tells them apart.
int windowsBuild();

// Where the association service changed under the engine, in the numbering
// above. From Windows 8 an application can no longer make itself the
// default, and of the registration service only QueryCurrentDefault still
// answers reliably; from Windows 10 defaults are chosen in Settings.
constexpr int windows8Version = 0xa0;
constexpr int windows10Version = 0xc0;
// The first build of Windows 11.
constexpr int windows11FirstBuild = 22000;
