// The two string converters that <comutil.h> declares and that MSVC's
// comsupp.lib supplies. MinGW-w64 ships the header but not the library, and
// UnRAR's isnt.cpp pulls them in through _bstr_t, so the DLL build links
// this file in their place.
#include <windows.h>
#include <oleauto.h>
#include <comutil.h>

namespace _com_util {

BSTR WINAPI ConvertStringToBSTR(const char *src)
{
    if (src == NULL)
        return NULL;
    int wide = MultiByteToWideChar(CP_ACP, 0, src, -1, NULL, 0);
    if (wide <= 0)
        return NULL;
    BSTR out = SysAllocStringLen(NULL, (UINT)(wide - 1));
    if (out != NULL)
        MultiByteToWideChar(CP_ACP, 0, src, -1, out, wide);
    return out;
}

char *WINAPI ConvertBSTRToString(BSTR src)
{
    if (src == NULL)
        return NULL;
    int len = WideCharToMultiByte(CP_ACP, 0, src, (int)SysStringLen(src) + 1,
                                  NULL, 0, NULL, NULL);
    if (len <= 0)
        return NULL;
    char *out = new char[len];
    WideCharToMultiByte(CP_ACP, 0, src, (int)SysStringLen(src) + 1, out, len,
                        NULL, NULL);
    return out;
}

} // namespace _com_util
