// The desktop folder on Windows: the shell's known folder, which follows a desktop the user
// moved (to another drive, into a synced folder) and is named in UTF-16.

#include "measure/auto_save.h"

#include <shlobj.h>
#include <windows.h>

#include "link/wide_text.h"

std::string DesktopFolder() {
    wchar_t* path = nullptr;
    std::string desktop;
    if (SHGetKnownFolderPath(FOLDERID_Desktop, 0, nullptr, &path) == S_OK)
        desktop = Utf8FromWide(path);
    CoTaskMemFree(path);
    while (desktop.size() > 3 && (desktop.back() == '\\' || desktop.back() == '/'))
        desktop.pop_back();
    return desktop;
}
