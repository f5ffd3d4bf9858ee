#include "proxy/repo/KvPageMeta.h"
#include "proxy/repo/KvRepoRecords.h"

int GrabMetaDataFromString(const char* html, KvLinkItem* item) {
    if (!html || !item) return 0;
    KvPageMeta meta;
    ScanPageMeta(html, meta);
    if (meta.hasTitle) item->m_strTitle = meta.title;
    if (meta.hasDescription) item->m_strDesc = meta.description;
    if (meta.hasKeywords) item->m_strKeywords = meta.keywords;
    return 1;
}
