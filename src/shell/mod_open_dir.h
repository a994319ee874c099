#pragma once
// The folder picker: the shell's "Browse for Folder" dialog behind a thin seam.
#include <cstdint>
#include <string>

namespace shell {

// A shell item list (PIDL) as an opaque handle; 0 for none.
using ItemList = std::uintptr_t;

inline constexpr int kCsidlDesktop = 0;
inline constexpr std::uint32_t kBifReturnOnlyFsDirs = 1;
inline constexpr std::size_t kMaxPath = 260;

// The browse record of SHBrowseForFolder (BROWSEINFO) as this program fills it.
struct BrowseInfo {
    std::uintptr_t hwndOwner = 0;
    ItemList pidlRoot = 0;
    std::string* pszDisplayName = nullptr;  // 260 NULs in, the chosen item's name out
    std::string lpszTitle;
    std::uint32_t ulFlags = 0;
    // No callback (lpfn), lParam 0.
    int iImage = 0;
};

// The shell calls of the folder picker, one for one. Text buffers are UTF-8 strings that come
// in filled with NULs; an implementation writes the text followed by NULs into them.
class ShellApi {
  public:
    virtual ~ShellApi() = default;
    // SHGetSpecialFolderLocation: 0 on success, with `item` set.
    virtual long getSpecialFolderLocation(std::uintptr_t owner, int folder, ItemList& item) = 0;
    // SHBrowseForFolder: the chosen item, or 0 when the user cancels.
    virtual ItemList browseForFolder(BrowseInfo& info) = 0;
    // SHGetPathFromIDList: true when the item has a file-system path, written into `path`.
    virtual bool getPathFromIDList(ItemList item, std::string& path) = 0;
    // CoTaskMemFree of an item list the shell handed out.
    virtual void freeItemList(ItemList item) = 0;
};

// Shows the dialog rooted at the desktop, for file-system folders only, without an owner and
// titled "Select a folder:". The chosen folder's path, or "" when cancelled or anything failed.
std::string SelectFolder(ShellApi& api);

// Shows the dialog rooted at the special folder `root`. Returns the incoming `path` when the
// root cannot be resolved, "" when the user cancels, else the chosen folder's path (its display
// name when it has no path), which is also stored into `path`.
std::string BrowseFolder(ShellApi& api, int root, std::uint32_t flags, std::string& path,
                         std::uintptr_t owner, const std::string& title);

}  // namespace shell
