// The link clipboard operations that every folder site with links shares
// ("item_list.php" and "item_pop.php"), on the site's repository (any
// repository publishing the tree's link operations: KvRepoLink, KvRepoRSS).
//
// "copy" and "clear" are open to anyone with the form token; "cut",
// "delete" and "paste" change folder `cat` and need the member the site
// names (`changer`) who may change that folder (`loadWritable` answers
// the refusal itself). Cut and delete touch only the folder's own links,
// so nothing leaves a folder the member may not read; paste stores the
// client's web addresses (a stored address is linked, not copied) and
// empties the clipboard.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "base/containers/KvObjectArray.h"
#include "inet/html/KvHtmlEscape.h"
#include "proxy/repo/KvLinkCard.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/sites/KvFolderSite.h"
#include "proxy/web/KvWebObjectEx.h"

struct KvClipboardRequest {
    CString op;  // "copy", "cut", "paste", "delete" or "clear"
    int cat;     // the folder, -1 for none
    std::vector<int> ids;
    KvVia via;
    KvWho changer;
};

// False when the answer (refusal or error) has been given; true when the
// caller answers (the operation done).
template <class Repo>
bool KvRunClipboard(KvWebObjectEx& site, KvFolderSite& folders, Repo& repo, const CString& client,
                    const KvClipboardRequest& rq, const std::function<bool(int)>& loadWritable,
                    const std::function<void()>& changed) {
    if (rq.op == "clear" || rq.op == "copy") {
        if (!site.AllowStateChange(KvWho::Anyone, rq.via)) return false;
        if (rq.op == "clear") {
            KvFolderSite::ClearClipboard(client);
            return true;
        }
        KvObjectArray links;
        const bool admin = site.IsUserLogin() && site.IsUserAdmin();
        const std::vector<int> hidden = folders.HiddenFolderIds();
        for (int id : rq.ids) {
            auto link = std::make_unique<KvLinkItem>();
            if (!repo.GetItem(id, link.get()) || (!admin && (!link->m_bShow || !link->m_bActive))) continue;
            if (!folders.MayReadLink(id, hidden)) continue;
            links.Add(link.release());
        }
        KvFolderSite::CopyToClipboard(client, links);
        return true;
    }
    if (rq.op != "cut" && rq.op != "delete" && rq.op != "paste") {
        site.ResponseUnknownAction(rq.op);
        return false;
    }
    if (rq.cat < 0) {
        site.ResponseUnknownAction(rq.op);
        return false;
    }
    if (!loadWritable(rq.cat) || !site.AllowStateChange(rq.changer, rq.via)) return false;
    if (rq.op == "paste") {
        // Copies are taken under the card's lock and stored after it is
        // given back: the card is shared by every site.
        KvObjectArray links;
        KvLinkCard* card = KvLinkCard::GetInstance();
        card->Lock();
        if (KvLinkCardList* list = card->Get(client)) {
            for (int i = 0; i < list->GetSize(); ++i) {
                const auto* entry = dynamic_cast<const KvLinkItem*>(list->GetAt(i));
                if (entry && KvIsWebAddress(entry->m_strUrl)) links.Add(new KvLinkItem(*entry));
            }
            list->RemoveAll();
        }
        card->Unlock();
        for (int i = 0; i < links.GetSize(); ++i) {
            auto* link = static_cast<KvLinkItem*>(links[i]);
            link->m_nID = 0;
            link->m_strUploadBy = site.UserGetName();
            (void)repo.AddNewItem(rq.cat, link);
        }
    } else {
        KvObjectArray links;
        for (int id : rq.ids) {
            auto link = std::make_unique<KvLinkItem>();
            if (!repo.IsMember(rq.cat, id) || !repo.GetItem(id, link.get())) continue;
            if (rq.op == "cut") links.Add(link.release());
        }
        if (rq.op == "cut") KvFolderSite::CopyToClipboard(client, links);
        for (int id : rq.ids) (void)repo.DeleteItemMember(rq.cat, id);
    }
    changed();
    return true;
}
