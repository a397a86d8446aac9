#include "ShellFolderBrowse.h"

#ifdef _WIN32

#include <windows.h>
#include <objbase.h>
#include <ole2.h>
#include <shlobj.h>

namespace tarsun {

namespace {
constexpr int CsidlDrives = 17;  // CSIDL_DRIVES: every drive of the machine, nothing above
constexpr UINT BrowseFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;  // 81

// The shell takes a preselection only once its dialog is up; `data` is the folder's path.
// Wine's dialog matches the path against its tree item by item, bytes and times, and
// stops short when a folder on the way (the temporary folder, say) changed meanwhile; it
// tells so, and another try matches. Windows' answer is not documented: at most three.
int CALLBACK ChooseStartFolder(HWND dialog, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED && data)
        for (int attempt = 0; attempt < 3 && !SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data); ++attempt) {
        }
    return 0;
}
}  // namespace

void* SpecialFolderPath(void* ownerHwnd, int csidl) {
    PIDLIST_ABSOLUTE list = nullptr;
    if (SHGetSpecialFolderLocation(static_cast<HWND>(ownerHwnd), csidl, &list) != S_OK)
        return nullptr;
    return list;
}

std::filesystem::path ShellBrowseForFolder(void* ownerHwnd, const std::wstring& prompt,
                                           const std::filesystem::path& startFolder) {
    // When the drives view cannot be resolved the dialog opens on the whole namespace.
    auto root = static_cast<PIDLIST_ABSOLUTE>(SpecialFolderPath(ownerHwnd, CsidlDrives));
    // The dialog needs COM on this thread; a failure here still lets it open.
    const HRESULT ole = OleInitialize(nullptr);

    BROWSEINFOW info{};
    info.hwndOwner = static_cast<HWND>(ownerHwnd);
    info.pidlRoot = root;
    info.pszDisplayName = nullptr;
    info.lpszTitle = prompt.c_str();
    info.ulFlags = BrowseFlags;
    info.lpfn = ChooseStartFolder;
    info.lParam = startFolder.empty() ? 0 : reinterpret_cast<LPARAM>(startFolder.c_str());

    std::filesystem::path result;
    if (PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info)) {
        wchar_t buffer[MAX_PATH] = {};
        // An item without a file-system path leaves the buffer empty: the same as a cancel.
        SHGetPathFromIDListW(chosen, buffer);
        CoTaskMemFree(chosen);
        result = buffer;
    }
    if (root)
        CoTaskMemFree(root);
    if (SUCCEEDED(ole))
        OleUninitialize();
    return result;
}

}  // namespace tarsun

#endif
