// UTF-16 into a Windows code page given as an argument, so that a test can
// take the conversion through code pages other than the system's own,
// UTF-8 among them. The platform's wide_to_ansi is this with the system's
// ANSI code page.
#pragma once

#include <windows.h>

#include <cstdint>

namespace voskel {

// WideCharToMultiByte's signature: a test may stand in a stricter one.
using WideToMultiByteFunction = int(WINAPI*)(UINT code_page, DWORD flags, LPCWCH wide, int wide_count,
                                             LPSTR buffer, int size, LPCCH default_char, LPBOOL used_default);

// wide_count characters of wide (-1: up to and with its NUL), written into
// buffer of size bytes in code page to. False when it does not fit, or when
// a character has no exact counterpart in to.
bool wide_to_code_page(UINT to, const wchar_t* wide, int wide_count, char* buffer, uint32_t size,
                       WideToMultiByteFunction wide_to_multi_byte = WideCharToMultiByte);

}  // namespace voskel
