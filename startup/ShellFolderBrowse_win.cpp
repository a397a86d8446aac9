#include "ShellFolderBrowse.h"

#ifdef _WIN32

#include <windows.h>
#include <objbase.h>
#include <ole2.h>
#include <shlobj.h>

#include <string>

namespace tarsun {

namespace {
constexpr int CsidlDrives = 17;  // CSIDL_DRIVES: every drive of the machine, nothing above
constexpr UINT BrowseFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;  // 81

// The shell takes a preselection only once its dialog is up; `data` is the folder's path.
// Wine's dialog matches the path against its tree item by item, bytes and times, and
// stops short when a folder on the way (the temporary folder, say) changed meanwhile, or
// while it still fills the tree. So the dialog tries again every 100 ms until the folder
// is selected, for one second at most: after that a user may be choosing in the tree.
constexpr UINT_PTR RetryTimer = 1;
constexpr UINT RetryMilliseconds = 100;
constexpr INT_PTR MostTries = 10;
const wchar_t* const StartFolderProperty = L"TarsunStartFolder";
const wchar_t* const TriesProperty = L"TarsunStartFolderTries";

void stopChoosing(HWND dialog) {
    KillTimer(dialog, RetryTimer);
    RemovePropW(dialog, StartFolderProperty);
    RemovePropW(dialog, TriesProperty);
}

void CALLBACK RetryStartFolder(HWND dialog, UINT, UINT_PTR, DWORD) {
    const auto tries = reinterpret_cast<INT_PTR>(GetPropW(dialog, TriesProperty)) + 1;
    SetPropW(dialog, TriesProperty, reinterpret_cast<HANDLE>(tries));
    if (const HANDLE folder = GetPropW(dialog, StartFolderProperty))
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder));
    if (tries >= MostTries) stopChoosing(dialog);
}

bool isFolder(LPCITEMIDLIST item, const wchar_t* folder) {
    wchar_t path[MAX_PATH] = {};
    if (!item || !SHGetPathFromIDListW(item, path)) return false;
    std::wstring a = path, b = folder;
    for (std::wstring* s : {&a, &b})
        while (s->size() > 3 && s->back() == L'\\') s->pop_back();
    return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

int CALLBACK ChooseStartFolder(HWND dialog, UINT message, LPARAM item, LPARAM data) {
    if (!data) return 0;
    if (message == BFFM_INITIALIZED) {
        SetPropW(dialog, StartFolderProperty, reinterpret_cast<HANDLE>(data));
        SetTimer(dialog, RetryTimer, RetryMilliseconds, RetryStartFolder);
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
    } else if (message == BFFM_SELCHANGED && GetPropW(dialog, StartFolderProperty) &&
               isFolder(reinterpret_cast<LPCITEMIDLIST>(item), reinterpret_cast<const wchar_t*>(data))) {
        stopChoosing(dialog);
    }
    return 0;
}
}  // namespace

void* specialFolderIdList(void* ownerHwnd, int csidl) {
    PIDLIST_ABSOLUTE list = nullptr;
    if (SHGetSpecialFolderLocation(static_cast<HWND>(ownerHwnd), csidl, &list) != S_OK)
        return nullptr;
    return list;
}

std::filesystem::path ShellBrowseForFolder(void* ownerHwnd, const std::wstring& prompt,
                                           const std::filesystem::path& startFolder) {
    // When the drives view cannot be resolved the dialog opens on the whole namespace.
    auto root = static_cast<PIDLIST_ABSOLUTE>(specialFolderIdList(ownerHwnd, CsidlDrives));
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
