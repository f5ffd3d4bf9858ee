// KvWebRSS: item lists inside the selection form, and "item_list.php" and
// "item_pop.php": copying items into the client's link clipboard, and for
// administrators cutting, deleting and pasting them in a folder.
#include "base/containers/KvObjectArray.h"
#include "base/str/StrFunc.h"
#include "proxy/sites/KvFolderClipboard.h"
#include "proxy/sites/KvWebRSS.h"

CString KvWebRSS::RenderSelectableItems(KvWebFolder* folder, KvObjectArray& items) {
    if (items.IsEmpty()) return CString();
    CString entries("<div id=\"item-list\"><dl>\r\n");
    int count = 0;
    for (int i = 0; i < items.GetSize(); ++i) {
        auto* item = dynamic_cast<KvLinkItem*>(items.GetAt(i));
        if (item) entries += RenderOneItem(++count, folder, item);
    }
    entries += "</dl></div>\r\n";
    const bool manage = folder && IsUserLogin() && IsUserAdmin();
    return KvFolderSite::RenderSelectionForm(entries, count, folder ? folder->m_nID : 0, GetFormToken(), manage);
}

bool KvWebRSS::DoClipboard(const CString& op, int cat, const std::vector<int>& ids, KvVia via) {
    return KvRunClipboard(
        *this, m_folders, m_repo, m_strClientIPAddr, {op, cat, ids, via, KvWho::Admin},
        [this](int id) { return LoadWritableFolder(id); }, [this] { ContentChanged(); });
}
