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

int KvWebRSS::ResponseItemListModule() {
    const CString op = m_folders.SelectionOperation();
    // The menu's Paste and Clear links are links; the rest come from the
    // selection form.
    const KvVia via = op == "paste" || op == "clear" ? KvVia::Link : KvVia::Form;
    return DoClipboard(op, m_cgi.GetIntValue("cat", -1), m_folders.ReadSelection(), via) ? ResponseRedirectToReferer()
                                                                                         : 1;
}

int KvWebRSS::ResponseItemPopModule() {
    CString op = m_cgi.GetValue("op", "");
    op.MakeLower();
    if (op != "copy" && op != "cut") return ResponseUnknownAction(op);
    const int id = m_cgi.GetIntValue("id", 0);
    std::vector<int> ids;
    if (id > 0) ids.push_back(id);
    return DoClipboard(op, m_cgi.GetIntValue("cat", -1), ids, KvVia::Link) ? ResponseCloseWindow() : 1;
}

bool KvWebRSS::DoClipboard(const CString& op, int cat, const std::vector<int>& ids, KvVia via) {
    return KvRunClipboard(
        *this, m_folders, m_repo, m_strClientIPAddr, {op, cat, ids, via, KvWho::Admin},
        [this](int id) { return LoadWritableFolder(id); }, [this] { ContentChanged(); });
}
