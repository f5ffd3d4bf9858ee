// KvLinkFormat: writes a list of links as HTML into a byte buffer.
//
// The default form is a definition list:
//   <div id="link_list"><dl>
//   <dt><a href="URL">title</a></dt>
//       <dd><small>description</small></dd>
//   </dl></div>
// Titles and descriptions are escaped and a URL that is not relative or
// http, https or ftp leads nowhere ("#"): link texts come from feeds and
// visitors. A derived format overrides the three steps; each appends to
// the buffer and answers whether the append succeeded.
#pragma once

#include "base/containers/KvObject.h"

class KvGenBuffer;
class KvLinkItem;

class KvLinkFormat : public KvObject {
    DECLARE_DYNCREATE(KvLinkFormat)
public:
    KvLinkFormat() = default;
    ~KvLinkFormat() override = default;
    KvObject* Clone() const override { return new KvLinkFormat; }

    virtual int Begin(KvGenBuffer* buffer);
    virtual int End(KvGenBuffer* buffer);
    virtual int Format(KvGenBuffer* buffer, const KvLinkItem* item);
};
