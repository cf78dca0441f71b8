/* CPython's build configuration for extension modules compiled by mingw-w64 for Windows (x64 and
   32-bit x86), against the python313.dll of the official Windows builds. Only what the headers of
   an extension build read: the platform, a shared interpreter, and the Windows type sizes. */
#ifndef Py_CONFIG_H
#define Py_CONFIG_H

#define MS_WINDOWS
#define MS_WIN32
#ifdef _WIN64
#define MS_WIN64
#endif
#define NT_THREADS
#define Py_ENABLE_SHARED 1
#define HAVE_DECLSPEC_DLL
#define STDC_HEADERS 1
#define HAVE_WCHAR_H 1

#define SIZEOF_SHORT 2
#define SIZEOF_INT 4
#define SIZEOF_LONG 4
#define SIZEOF_LONG_LONG 8
#define SIZEOF_FLOAT 4
#define SIZEOF_DOUBLE 8
#define SIZEOF__BOOL 1
#define SIZEOF_WCHAR_T 2
#define ALIGNOF_LONG 4
#ifdef _WIN64
#define SIZEOF_VOID_P 8
#define SIZEOF_SIZE_T 8
#define SIZEOF_TIME_T 8
#define SIZEOF_UINTPTR_T 8
#define ALIGNOF_SIZE_T 8
typedef long long Py_ssize_t;
#else
#define SIZEOF_VOID_P 4
#define SIZEOF_SIZE_T 4
#define SIZEOF_TIME_T 8
#define SIZEOF_UINTPTR_T 4
#define ALIGNOF_SIZE_T 4
typedef int Py_ssize_t;
#endif
#define HAVE_PY_SSIZE_T 1
#define SIZEOF_PID_T SIZEOF_INT
typedef int pid_t;

#endif
