// The one header that includes the Windows headers. Include it after every header of the
// platform layer: the Windows headers define as macros names that the layer also uses (IDOK,
// MB_OK, WS_POPUP, ...), which then stand for the same values; and the names of calls that the
// layer's services share with Windows are undefined here, so that code in this folder calls the
// wide functions by their W names.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

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
