// KvWebRSS: item lists inside the selection form, and "item_list.php":
// copying items into the client's link clipboard, and for administrators
// cutting, deleting and pasting them in a folder.
#include "base/containers/KvObjectArray.h"
#include "base/str/StrFunc.h"
#include "proxy/repo/KvLinkCard.h"
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
    if (op == "clear" || op == "copy") {
        if (!AllowStateChange(KvWho::Anyone, KvVia::Form)) return 1;
        if (op == "clear") KvFolderSite::ClearClipboard(m_strClientIPAddr);
        else CopySelection();
        return ResponseRedirectToReferer();
    }
    const int cat = m_cgi.GetIntValue("cat", 0);
    if (!LoadWritableFolder(cat)) return 1;
    if (!AllowStateChange(KvWho::Admin, KvVia::Form)) return 1;
    if (op == "paste") {
        PasteClipboard(cat);
    } else {
        if (op == "cut") CopySelection();
        for (int id : m_folders.ReadSelection()) (void)m_repo.DeleteItemMember(cat, id);
    }
    ContentChanged();
    return ResponseRedirectToReferer();
}

void KvWebRSS::CopySelection() {
    const bool admin = IsUserLogin() && IsUserAdmin();
    const std::vector<int> hidden = m_folders.HiddenFolderIds();
    KvObjectArray links;
    for (int id : m_folders.ReadSelection()) {
        KvLinkItem item;
        if (!m_repo.GetItem(id, &item)) continue;
        if (!admin && (!item.m_bShow || !item.m_bActive)) continue;
        if (!m_folders.MayReadLink(id, hidden)) continue;
        links.Add(new KvLinkItem(item));
    }
    (void)KvFolderSite::CopyToClipboard(m_strClientIPAddr, links);
}

void KvWebRSS::PasteClipboard(int folder) {
    // Copies are taken under the card's lock and stored after it is given
    // back: the card is shared by every site.
    KvObjectArray links;
    KvLinkCard* card = KvLinkCard::GetInstance();
    card->Lock();
    KvLinkCardList* list = card->Get(m_strClientIPAddr);
    for (int i = 0; list && i < list->GetSize(); ++i) {
        const auto* link = dynamic_cast<const KvLinkItem*>(list->GetAt(i));
        if (link && KvIsWebAddress(link->m_strUrl)) links.Add(new KvLinkItem(*link));
    }
    card->Unlock();
    for (int i = 0; i < links.GetSize(); ++i) {
        auto* link = static_cast<KvLinkItem*>(links[i]);
        link->m_nID = 0;
        (void)m_repo.AddNewItem(folder, link);
    }
}
