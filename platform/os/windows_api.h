// The one header that includes the Windows headers, in any order with the others: the names of
// calls that the platform layer's services share with Windows (CreateFile, MessageBox, ...) are
// macros there, undefined here, so that code calls the wide functions by their W names. The
// dialog framework's own constants have names of their own (kIdOk, not IDOK).
//
// _WIN32_WCE (TESSARON_CE_FORMS in CMake) gives the device's forms of the calls: the CE toolchain
// builds with it, and so does the 32-bit build here, over a desktop's headers.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifdef _WIN32_WCE
// The device's start-up code passes WinMain the command line wide, where a desktop's headers
// declare it narrow: the headers' WinMain goes by another name, the device's is declared below.
#define WinMain HeadersWinMain
#endif
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#ifdef _WIN32_WCE
#undef WinMain
extern "C" int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR, int);
// Windows CE 5.0 has the window-long calls in their 32-bit forms only: a desktop's pointer-sized
// names are taken away, so that no code of the device program can use them.
#undef GetWindowLongPtrW
#undef SetWindowLongPtrW
#undef DWLP_USER
#endif

#undef CreateFile
#undef CreateMutex
#undef GetOpenFileName
#undef LoadString
#undef MessageBox
#undef OpenEvent
#undef RegCreateKeyEx
#undef RegDeleteValue
#undef RegOpenKeyEx
#undef RegQueryValueEx
#undef RegSetValueEx
#undef ReplaceFile
#undef SendMessage
