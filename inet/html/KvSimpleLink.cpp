// Simple links and their text and HTML forms.
#include "inet/html/KvSimpleLink.h"

#include <string>
#include <string_view>
#include <unordered_map>

#include "base/containers/CsList.h"
#include "base/containers/KvObjectArray.h"
#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"

IMPLEMENT_DYNCREATE(KvSimpleLinkItem, KvObject)

namespace {

KvSimpleLinkItem* ItemAt(const KvObjectArray* links, int i) {
    KvObject* p = links->GetAt(i);
    return p && p->IsKindOf(RUNTIME_CLASS(KvSimpleLinkItem)) ? static_cast<KvSimpleLinkItem*>(p) : nullptr;
}

// A field of the text form: tabs and line breaks would split the record.
CString FlatField(const CString& s) {
    CString out(s);
    for (char& c : out.str()) {
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    }
    return out;
}

// The URL cut into lines for display; cut before escaping, so that no
// entity is split.
CString ShownUrl(const CString& url) {
    CString shown = HtmlEscape(UrlFormat2Show(url, "\x01"));
    shown.Replace("\x01", "<br>&nbsp;&nbsp;");
    return shown;
}

}  // namespace

int KvSimpleLinkItem::Compare(const KvObject& other) const {
    const auto* o = dynamic_cast<const KvSimpleLinkItem*>(&other);
    return o ? StrICompare(m_strTitle, o->m_strTitle) : 0;
}

void KvSimpleLinkItem::Copy(const KvObject& other, int) {
    if (const auto* o = dynamic_cast<const KvSimpleLinkItem*>(&other)) CopyFrom(*o);
}

void KvSimpleLinkItem::Set(const char* url, const char* title, const char* description) {
    m_strUrl = url;
    m_strTitle = title;
    m_strDescription = description;
}

void KvSimpleLinkItem::CopyFrom(const KvSimpleLinkItem& other) {
    Set(other.m_strUrl, other.m_strTitle, other.m_strDescription);
}

int ConvertTextToSimpleLink(const char* text, KvObjectArray* links) {
    if (!links || !text || !*text) return 0;
    links->RemoveAll();
    CsStrList lines;
    StrLineExplode(text, lines);
    for (CsStrListItem* line = lines.Head(); line; line = line->Next()) {
        CsString fields[3];
        StrExplodeToArray(line->GetStr(), "\t", fields, 3);
        auto* item = new KvSimpleLinkItem(fields[0].GetStr(), fields[1].GetStr(), fields[2].GetStr());
        if (links->Add(item) < 0) delete item;
    }
    return 1;
}

int ConvertSimpleLinkToText(const KvObjectArray* links, CString* text) {
    if (!links || !text) return 0;
    text->Empty();
    for (int i = 0; i < links->GetSize(); ++i) {
        const KvSimpleLinkItem* item = ItemAt(links, i);
        if (!item) continue;
        *text += FlatField(item->m_strUrl) + "\t" + FlatField(item->m_strTitle) + "\t" +
                 FlatField(item->m_strDescription) + "\r\n";
    }
    return 1;
}

int ConvertSimpleLinkToHtml(const KvObjectArray* links, CString* html) {
    if (!links || !html) return 0;
    CString out("<div id=\"item-list\"><dl>\r\n");
    int number = 0;
    for (int i = 0; i < links->GetSize(); ++i) {
        const KvSimpleLinkItem* item = ItemAt(links, i);
        if (!item) continue;
        ++number;
        out.AppendFormat("<dt><input type=\"checkbox\" name=\"item_%d\" value=\"%d\">&nbsp;", number, number);
        if (KvIsWebAddress(item->m_strUrl)) {
            const CString href = HtmlEscapeAttr(item->m_strUrl);
            out += HtmlLink(href, HtmlEscape(item->m_strTitle), nullptr) + "&nbsp;";
            out += HtmlLink(href, "<img src=\"/images/nw1.gif\" border=\"0\" width=\"12\" height=\"11\">",
                            "_blank");
        } else {
            out += HtmlEscape(item->m_strTitle);
        }
        out += "</dt>\r\n  <dd>";
        if (!item->m_strDescription.IsEmpty()) out += HtmlEscape(item->m_strDescription) + "<br>";
        const CString info = KvIsWebAddress(item->m_strUrl) ? HtmlSiteInfo(item->m_strUrl) + ". " : CString();
        out += "<span class=\"item-attr\">" + info + "URL: " +
               ShownUrl(item->m_strUrl) + "</span></dd>\r\n";
    }
    out += "</dl></div>\r\n";
    *html = out;
    return 1;
}

int CombineSimpleLinks(KvObjectArray* target, const KvObjectArray* source) {
    if (!target || !source) return 0;
    // URL -> the first target item with it: one pass over each list, so
    // merging two long lists stays linear.
    std::unordered_map<std::string_view, KvSimpleLinkItem*> byUrl;
    byUrl.reserve((size_t)(target->GetSize() + source->GetSize()));
    for (int j = 0; j < target->GetSize(); ++j) {
        if (KvSimpleLinkItem* t = ItemAt(target, j)) byUrl.emplace(t->m_strUrl.str(), t);
    }
    for (int i = 0; i < source->GetSize(); ++i) {
        const KvSimpleLinkItem* from = ItemAt(source, i);
        if (!from) continue;
        auto found = byUrl.find(from->m_strUrl.str());
        if (found == byUrl.end()) {
            auto* copy = new KvSimpleLinkItem(*from);
            if (target->Add(copy) < 0) {
                delete copy;
            } else {
                byUrl.emplace(copy->m_strUrl.str(), copy);
            }
            continue;
        }
        KvSimpleLinkItem* match = found->second;
        if (from->m_strTitle.GetLength() > match->m_strTitle.GetLength()) match->m_strTitle = from->m_strTitle;
        if (from->m_strDescription.GetLength() > match->m_strDescription.GetLength()) {
            match->m_strDescription = from->m_strDescription;
        }
    }
    return 1;
}
