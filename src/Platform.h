// One include for the Win32 names the tool is written against: the real ones on Windows,
// the POSIX platform layer's elsewhere.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include "windows_posix.h"
#endif
