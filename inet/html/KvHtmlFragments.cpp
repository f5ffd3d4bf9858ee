// Small HTML fragments: links, form controls, boxes, combo boxes.
#include <cstdarg>

#include "base/containers/CsList.h"
#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"

namespace {

CString StatusLink(const char* href, const char* status, const char* label, const char* target) {
    CString js = JsEscape(href);
    CString st = JsEscape(status);
    CString link;
    link.Format("<a href=\"%s\"", href ? href : "");
    if (target && *target) link.AppendFormat(" target=\"%s\"", target);
    link.AppendFormat(
        " onmouseover=\"window.status='%s URL: %s';return true;\" onmouseout=\"window.status=' URL: "
        "%s';return true;\">%s</a>",
        st.c_str(), js.c_str(), js.c_str(), label ? label : "");
    return link;
}

const char* Safe(const char* s) { return s ? s : ""; }

CString ComboOption(const char* key, const char* text, const char* selected) {
    CString k = HtmlEscape(key), t = HtmlEscape(text);
    CString option;
    if (selected && StrICompare(key, selected) == 0) {
        option.Format("<option selected value=\"%s\">%s</option>\r\n", k.c_str(), t.c_str());
    } else {
        option.Format("<option value=\"%s\">%s</option>\r\n", k.c_str(), t.c_str());
    }
    return option;
}

}  // namespace

CString HtmlFormat(const char* format, ...) {
    CString s;
    va_list args;
    va_start(args, format);
    s.FormatV(format, args);
    va_end(args);
    return s;
}

CString HtmlLink(const char* href, const char* text, const char* target) {
    CString s;
    if (target && *target) {
        s.Format("<a href=\"%s\" target=\"%s\">%s</a>", Safe(href), target, Safe(text));
    } else {
        s.Format("<a href=\"%s\">%s</a>", Safe(href), Safe(text));
    }
    return s;
}

CString HtmlLinkLabel(const char* href, const char* status, const char* text, const char* target) {
    return StatusLink(href, status, text, target);
}

CString HtmlLinkCheat(const char* status, const char* href, const char* text, const char* target) {
    return StatusLink(href, status, text, target);
}

CString HtmlLinkDotted(const char* href, const char* status, const char* text, const char* target) {
    CString span;
    span.Format("<span style=\"color:#505050;text-decoration: none;border-bottom: 1 dotted #0000A4\">%s</span>",
                Safe(text));
    return StatusLink(href, status, span, target);
}

CString HtmlCheckBox(const char* name, const char* value, int checked) {
    CString n = HtmlEscape(name), v = HtmlEscape(value);
    return checked ? HtmlFormat("<input type=\"checkbox\" name=\"%s\" value=\"%s\" checked>", n.c_str(), v.c_str())
                   : HtmlFormat("<input type=\"checkbox\" name=\"%s\" value=\"%s\">", n.c_str(), v.c_str());
}

CString HtmlCheckBox(const char* name, int checked) {
    CString n = HtmlEscape(name);
    return checked ? HtmlFormat("<input type=\"checkbox\" name=\"%s\" value=\"ON\" checked>", n.c_str())
                   : HtmlFormat("<input type=\"checkbox\" name=\"%s\" value=\"ON\">", n.c_str());
}

CString HtmlFlagChecked(int flags, int bit) { return (flags & bit) ? CString("checked") : CString(); }

CString HtmlTextBox(const char* name, const char* value, int size, int password) {
    CString n = HtmlEscape(name), v = HtmlEscapeAttr(value);
    return HtmlFormat("<input class=\"inputbox\" type=\"%s\" name=\"%s\" value=\"%s\" size=\"%d\">",
                      password ? "password" : "text", n.c_str(), v.c_str(), size);
}

CString HtmlTextBox(const char* name, int number, int size) {
    return HtmlTextBox(name, StrFormat("%d", number), size, 0);
}

CString HtmlEditor(const char* name, const char* value, int width, int height) {
    // "&" is escaped too: otherwise a text holding "&lt;" would come back
    // from the browser as "<".
    CString body;
    std::string& out = body.str();
    for (const char* p = Safe(value); *p; ++p) {
        switch (*p) {
            case '{': out += "&#123;"; break;
            case '}': out += "&#125;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '&': out += "&amp;"; break;
            default: out += *p; break;
        }
    }
    CString n = HtmlEscape(name);
    return HtmlFormat("<textarea class=\"inputbox\" name=\"%s\" style=\"width:%dpx; height:%dpx;\">", n.c_str(),
                      width, height) +
           body + "</textarea>";
}

CString HtmlSidebarBox(const char* title, const char* text) {
    return CString("<div class=title>") + Safe(title) + "</div>\r\n<div id=sbtext>" + Safe(text) +
           "</div>\r\n<div id=sbspace></div>\r\n";
}

CString HtmlStyleId(const char* id) { return HtmlFormat("<div id=\"%s\">", Safe(id)); }

CString HtmlStyle(const char* id, const char* text) { return HtmlFormat("<div id=\"%s\">%s</div>", Safe(id), Safe(text)); }

CString HtmlSpan(const char* cls, const char* text) {
    return HtmlFormat("<span class=\"%s\">%s</span>", Safe(cls), Safe(text));
}

CString HtmlImageSpace(int width, int height) {
    return HtmlFormat("<img src=\"/images/space.gif\" height=\"%d\" width=\"%d\">", height, width);
}

CString MapToHtmlComboBox(const CsStrMap& map, const char* name, const char* selected) {
    CString s = HtmlFormat("<select size=\"1\" name=\"%s\">\r\n", HtmlEscape(name).c_str());
    for (CsStrMapItem* p = map.Head(); p; p = p->Next()) s += ComboOption(p->GetKey(), p->GetValue(), selected);
    s += "</select>\r\n";
    return s;
}

CString ListToHtmlComboBox(const CsStrList& list, const char* name, const char* selected) {
    CString s = HtmlFormat("<select size=\"1\" name=\"%s\">\r\n", HtmlEscape(name).c_str());
    for (CsStrListItem* p = list.Head(); p; p = p->Next()) s += ComboOption(p->GetStr(), p->GetStr(), selected);
    s += "</select>\r\n";
    return s;
}

CString HtmlGoogleAdvNew(const char*) { return CString(); }

CString HtmlGoogleAdvertising(const char*, int, int) { return CString(); }

CString HtmlAmazonAdvertising(const char*) { return CString(); }
