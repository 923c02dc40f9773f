#pragma once

#include <string>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace packsmith::win32 {

// Paths are UTF-8 inside the program; the system takes UTF-16. Bytes of a name that are not
// UTF-8 stand for their Windows-1252 characters (WideText).
std::wstring Wide(const std::string& utf8);
// A path for the system's file calls: Wide(path), and for a full path longer than the old
// limit of 260 characters, its form that lifts the limit ("\\?\C:\..." or
// "\\?\UNC\server\share\..."), normalised, since the system takes that form as it stands.
std::wstring SystemPath(const std::string& utf8);
std::string Utf8(const std::wstring& wide);
// The error number (as <cerrno> has them) closest to a system error code, so that a
// message gives the same cause on every system.
int ErrorNumber(DWORD code);
// ErrorNumber(GetLastError()).
int LastErrorNumber();
// LastErrorNumber() of a call on path, which tells more where Windows says only that the
// path was not found: ENOTDIR where a part of it is a file, as Linux says.
int LastErrorNumberOf(const std::wstring& path);

} // namespace packsmith::win32
