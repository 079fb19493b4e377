// The subset of the Win32 API that the tool uses, provided on POSIX systems.
#ifndef LUMIVANE_PLATFORM_WINDOWS_POSIX_H
#define LUMIVANE_PLATFORM_WINDOWS_POSIX_H

typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#endif
