// KvWebEngineSite: a database site with the site engine's own pages only:
// sign-in, members, control panel, settings and the other built-in modules
// of "/phpmod/", the stored files of the reserved paths, and a home page
// in the site's frame.
//
// The web manager makes one for a site database whose kind has no site
// class of its own in the program yet, so every database file it finds is
// a working site that its administrator can sign in to and configure.
#pragma once

#include "proxy/web/KvWebObjectEx.h"

class KvWebEngineSite : public KvWebObjectEx {
    DECLARE_DYNCREATE(KvWebEngineSite)
public:
    KvWebEngineSite() = default;
    ~KvWebEngineSite() override = default;

    int Initiate() override;
    int DoGetResponse() override;

protected:
    // The home page: the site's description in the frame.
    int ResponseHomePage();
};
