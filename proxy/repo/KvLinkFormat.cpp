// The default HTML form of a link list.
#include "proxy/repo/KvLinkFormat.h"

#include "base/containers/KvGenBuffer.h"
#include "inet/html/KvHtmlEscape.h"
#include "proxy/repo/KvRepoRecords.h"

IMPLEMENT_DYNCREATE(KvLinkFormat, KvObject)

int KvLinkFormat::Begin(KvGenBuffer* buffer) {
    return buffer && buffer->PutString("<div id=\"link_list\"><dl>\r\n") ? 1 : 0;
}

int KvLinkFormat::End(KvGenBuffer* buffer) { return buffer && buffer->PutString("</dl></div>\r\n") ? 1 : 0; }

int KvLinkFormat::Format(KvGenBuffer* buffer, const KvLinkItem* item) {
    if (!buffer || !item) return 0;
    CString line;
    line.Format("<dt><a href=\"%s\">%s</a></dt>\r\n    <dd><small>%s</small></dd>\r\n",
                HtmlSafeHref(item->m_strUrl).c_str(), HtmlEscape(item->m_strTitle).c_str(),
                HtmlEscape(item->m_strDesc).c_str());
    return buffer->PutString(line) ? 1 : 0;
}
