// The device's calls that only Windows CE has, as its headers declare them. Every other call the
// device services make comes from <windows.h>. On the device they are in COREDLL; the desktop's
// tests link a stand-in for them.
#pragma once

#include "platform/os/windows_api.h"

extern "C" {
HANDLE WINAPI ActivateDevice(LPCWSTR lpszDevKey, DWORD dwClientInfo);
BOOL WINAPI DeactivateDevice(HANDLE hDevice);
BOOL WINAPI KernelIoControl(DWORD dwIoControlCode, LPVOID lpInBuf, DWORD nInBufSize,
                            LPVOID lpOutBuf, DWORD nOutBufSize, LPDWORD lpBytesReturned);
BOOL WINAPI EventModify(HANDLE hEvent, DWORD func);
void NKDbgPrintfW(LPCWSTR lpszFmt, ...);
}
