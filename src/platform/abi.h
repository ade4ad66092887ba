// Calling-convention and export macros shared by the module, the simulators and the tests.
// No system header here: core code includes this, never <windows.h>.
#pragma once

#if defined(_WIN32) && !defined(_WIN64)
#define X9_STDCALL __attribute__((stdcall))
#else
// x86-64 and POSIX have one calling convention; the attribute would only warn.
#define X9_STDCALL
#endif

#if defined(_WIN32)
#define X9_EXPORT __declspec(dllexport)
#else
#define X9_EXPORT __attribute__((visibility("default")))
#endif
