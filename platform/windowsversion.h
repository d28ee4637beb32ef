#pragma once

// The running Windows version in the numbering of Qt 5's QSysInfo::WinVersion
// (0x30 XP, 0x80 Vista, 0x90 Windows 7, ... 0xc0 Windows 10), which the
// engine's mode decisions compare against.
int windowsVersion();

// That number for an NT version: 5.1 gives 0x30, 6.0 0x80, 10.0 0xc0.
int winVersionFromNt(int major, int minor);
