// The few Windows declarations the plugin and the host use, for the native
// Linux build. The host library implements the functions with Windows'
// semantics: the tick counter comes from the host's clock, and the profile
// functions read and write real INI files.
#pragma once

#include <cstdint>

typedef int BOOL;
typedef uint8_t BYTE;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef void *LPVOID;
typedef void *HMODULE;
typedef void *HINSTANCE;
typedef void *HWND;
typedef const char *LPCSTR;
typedef char *LPSTR;

#define TRUE 1
#define FALSE 0
#define CONST const
#define WINAPI
#define CALLBACK
#define APIENTRY

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#define MAX_PATH 260

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT;

typedef struct tagRECT {
    LONG left, top, right, bottom;
} RECT;

typedef struct tagRGNDATA RGNDATA;

#define SHIMAPI extern "C" __attribute__((visibility("default")))

SHIMAPI DWORD WINAPI GetTickCount(void);
SHIMAPI DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultText,
                                              LPSTR buffer, DWORD bufferSize, LPCSTR path);
SHIMAPI BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value,
                                               LPCSTR path);
SHIMAPI DWORD WINAPI GetLastError(void);

#undef SHIMAPI
