#include "base/platform/Archive.h"

#include <cstring>

void CArchive::Write(const void* data, size_t n) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    m_bytes.insert(m_bytes.end(), p, p + n);
}

size_t CArchive::Read(void* data, size_t n) {
    size_t avail = m_bytes.size() - m_pos;
    if (n > avail) {
        m_failed = true;
        std::memset(data, 0, n);
        n = avail;
    }
    if (n == 0) return 0;  // an empty archive has no data pointer to copy from
    std::memcpy(data, m_bytes.data() + m_pos, n);
    m_pos += n;
    return n;
}

CArchive& CArchive::PutInt(uint64_t v, int bytes) {
    unsigned char b[8];
    for (int i = 0; i < bytes; ++i) b[i] = (unsigned char)(v >> (8 * i));
    Write(b, (size_t)bytes);
    return *this;
}

uint64_t CArchive::GetInt(int bytes) {
    unsigned char b[8] = {0};
    Read(b, (size_t)bytes);
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= (uint64_t)b[i] << (8 * i);
    return v;
}

CArchive& CArchive::operator<<(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return PutInt(bits, 8);
}

CArchive& CArchive::operator>>(double& v) {
    uint64_t bits = GetInt(8);
    std::memcpy(&v, &bits, sizeof v);
    return *this;
}

CArchive& CArchive::operator<<(const CString& s) {
    PutInt((uint32_t)s.GetLength(), 4);
    Write(s.c_str(), (size_t)s.GetLength());
    return *this;
}

CArchive& CArchive::operator<<(const char* s) { return *this << CString(s); }

CArchive& CArchive::operator>>(CString& s) {
    size_t n = (size_t)GetInt(4);
    if (n > m_bytes.size() - m_pos) {  // a corrupt length never allocates past the data
        m_failed = true;
        s.Empty();
        return *this;
    }
    s = CString(std::string(reinterpret_cast<const char*>(m_bytes.data() + m_pos), n));
    m_pos += n;
    return *this;
}

void CArchive::WriteObject(const CObject* obj) {
    *this << (obj ? obj->GetRuntimeClass()->m_lpszClassName : "");
    if (obj) const_cast<CObject*>(obj)->Serialize(*this);
}

CObject* CArchive::ReadObject(const KvRuntimeClass* expected) {
    CString name;
    *this >> name;
    if (name.IsEmpty() || m_failed) return nullptr;
    const KvRuntimeClass* cls = KvRuntimeClass::FromName(name);
    if (!cls || (expected && !cls->IsDerivedFrom(expected))) {
        m_failed = true;
        return nullptr;
    }
    CObject* obj = cls->CreateObject();
    if (obj) obj->Serialize(*this);
    return obj;
}
