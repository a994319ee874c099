#include "shell/mod_open_dir.h"

#include <exception>

namespace shell {
namespace {

// The text of a NUL-filled buffer up to its first NUL.
std::string beforeFirstNul(const std::string& buffer) {
    return buffer.substr(0, buffer.find('\0'));
}

// Releases an item list the shell handed out when it goes out of scope.
class ItemListGuard {
  public:
    ItemListGuard(ShellApi& api, ItemList item) : api_(api), item_(item) {}
    ~ItemListGuard() {
        if (item_)
            api_.freeItemList(item_);
    }
    ItemListGuard(const ItemListGuard&) = delete;
    ItemListGuard& operator=(const ItemListGuard&) = delete;

  private:
    ShellApi& api_;
    ItemList item_;
};

}  // namespace

std::string SelectFolder(ShellApi& api) {
    try {
        std::string path;
        return BrowseFolder(api, kCsidlDesktop, kBifReturnOnlyFsDirs, path, 0, "Select a folder:");
    } catch (const std::exception&) {
        return "";
    }
}

std::string BrowseFolder(ShellApi& api, int root, std::uint32_t flags, std::string& path,
                         std::uintptr_t owner, const std::string& title) {
    ItemList rootList = 0;
    if (api.getSpecialFolderLocation(owner, root, rootList) != 0)
        return path;
    const ItemListGuard rootGuard(api, rootList);

    std::string displayName(kMaxPath, '\0');
    BrowseInfo info;
    info.hwndOwner = owner;
    info.pidlRoot = rootList;
    info.pszDisplayName = &displayName;
    info.lpszTitle = title;
    info.ulFlags = flags;
    const ItemList chosen = api.browseForFolder(info);
    if (!chosen)
        return "";
    const ItemListGuard chosenGuard(api, chosen);

    std::string buffer(kMaxPath, '\0');
    const std::string result = api.getPathFromIDList(chosen, buffer) ? beforeFirstNul(buffer)
                                                                     : beforeFirstNul(displayName);
    path = result;
    return result;
}

}  // namespace shell
