// What the site engine's management modules share.
#pragma once

#include "base/platform/CString.h"
#include "proxy/web/KvWebObjectEx.h"

namespace kvmod {

// The control panel, the first step of every management page's trail.
inline constexpr char kCpanel[] = "Control Panel";
inline constexpr char kCpanelUrl[] = "/phpmod/cpanel.php";

// The largest file an upload may store.
inline constexpr long long kMaxUploadBytes = 102400000;

// The module's "op", lower-cased; `fallback` when none is given.
CString GetOp(KvWebObjectEx& site, const char* fallback = "show");

// The form's text of an HTML field: its editor variant ("<name>_editor")
// when that was sent, else the field itself.
CString GetHtmlField(KvWebObjectEx& site, const char* name);

}  // namespace kvmod
