// The Windows headers as the Win32 half of the component uses them:
// Windows 7 API level (CancelIoEx), without the rarely used parts and
// without the min/max macros.
#pragma once

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
