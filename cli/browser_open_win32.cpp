// The default browser on Windows: the shell's "open" verb on the address, which hands it to
// whatever the user chose for http.

#include <windows.h>
// After windows.h, which it needs.
#include <objbase.h>
#include <shellapi.h>

#include <cstdint>

#include "cli/browser_open.h"
#include "link/wide_text.h"

bool OpenInBrowser(const std::string& url, std::string* error) {
    const std::wstring wide = WideFromUtf8(url);
    if (wide.empty()) {
        *error = "cannot open " + url + ": not valid UTF-8";
        return false;
    }
    // Some shell handlers are COM objects: the shell asks for COM on the calling thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const HINSTANCE done =
        ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    const DWORD failure = GetLastError();
    if (SUCCEEDED(com)) CoUninitialize();
    // Its result is a number squeezed into a handle: above 32 it worked.
    if (reinterpret_cast<intptr_t>(done) > 32) return true;
    *error = "cannot open " + url + ": " + WindowsErrorText(failure);
    return false;
}
