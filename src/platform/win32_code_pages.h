// Text between two Windows code pages, given as arguments, so that a test
// can take the conversion through code pages other than the system's own,
// UTF-8 among them. The platform's ansi_to_oem and oem_to_ansi are this
// with the system's ANSI and OEM code pages.
#pragma once

#include <windows.h>

#include <cstdint>

namespace voskel {

// WideCharToMultiByte's signature: a test may stand in a stricter one.
using WideToMultiByteFunction = int(WINAPI*)(UINT code_page, DWORD flags, LPCWCH wide, int wide_count,
                                             LPSTR buffer, int size, LPCCH default_char, LPBOOL used_default);

// text in code page from, written into buffer of size bytes in code page to,
// with its NUL. False when the text is not valid in from, when it does not
// fit, or when a character has no exact counterpart in to.
bool convert_code_page(UINT from, UINT to, const char* text, char* buffer, uint32_t size,
                       WideToMultiByteFunction wide_to_multi_byte = WideCharToMultiByte);

}  // namespace voskel
