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

// Paths are UTF-8 inside the program; the system takes UTF-16.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);
// The error number (as <cerrno> has them) closest to a system error code, so that a
// message gives the same cause on every system.
int ErrorNumber(DWORD code);
// ErrorNumber(GetLastError()).
int LastErrorNumber();

} // namespace packsmith::win32
