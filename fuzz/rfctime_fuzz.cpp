// Fuzzes the reading of dates: the Internet date forms (GetRFCTime), the
// fixed 'YYYY-MM-DD HH:MM:SS' form, and dates and times in the regional
// order; then the calendar arithmetic on whatever record resulted. A date
// that was read writes out as text that reads back as the same date.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/app/KvData.h"
#include "base/time/KvTime.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

bool SameFields(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
           a.wMinute == b.wMinute && a.wSecond == b.wSecond;
}

// Everything a caller may do with a record of unknown quality.
void Exercise(const KvTime& value) {
    KvTime t(value);
    (void)t.IsValid();
    (void)t.IsEmpty();
    (void)t.GetDayOfWeek();
    (void)t.GetDayNumber();
    time_t seconds;
    (void)t.GetTime(&seconds);
    struct tm tm;
    (void)t.GetTime(&tm);
    (void)t.Format("%Y-%m-%d %H:%M:%S %a %b %j %U");
    (void)t.FormatGmt("%c");
    CString rfc;
    t.GetRFCTime(rfc);
    (void)t.GetFirstDOM();
    (void)t.GetFirstDOMNext();
    (void)t.GetEndDOM();
    KvTime later(t);
    later += 1.5;
    later -= 400.25;
    later.SetTimeAfter(31, 25, 61, 61);
    later.SetTimeBefore(366, 0, 0, 1);
    (void)(later - t);
    (void)t.Compare(later);
    (void)t.IsSameDate(later);
}

void FuzzRfc(const std::string& text) {
    SYSTEMTIME st{};
    if (!GetRFCTime(text.c_str(), &st)) {
        Exercise(KvTime(st));
        return;
    }
    KvTime date(st);
    Check(date.IsValid());
    CString written;
    Check(GetRFCTimeFormat(&st, &written));
    Check(written.GetLength() == 29);
    SYSTEMTIME again{};
    Check(GetRFCTime(written, &again));
    Check(SameFields(st, again));
    Exercise(date);
}

void FuzzFixed(const std::string& text) {
    KvTime t(2001, 2, 3, 4, 5, 6);
    const KvTime before(t);
    bool ok = ConvertStringToTime(text.c_str(), &t);
    Check(ok == (std::strlen(text.c_str()) == 19));
    if (t != before) Check(t.IsValid());  // an invalid date leaves the value as it was
    Exercise(t);
}

void FuzzRegional(const std::string& text, uint8_t mode) {
    static const char* const separators[] = {"/", "-", ".", ""};
    kvData.iDate = mode % 4;
    kvData.sDate = separators[(mode >> 2) % 4];
    KvTime t;
    bool ok = (mode & 0x10) ? t.SetDateTime(text.c_str()) : t.SetDate(text.c_str(), mode & 0x20);
    if (ok) Check(t.IsValid());
    Exercise(t);
    KvTime clock;
    if (clock.SetTime(text.c_str(), TRUE)) Check(clock.GetHour() <= 23 && clock.GetSecond() <= 59);
    kvData.iDate = 1;
    kvData.sDate = "/";
}

// The record's raw fields from the input: whatever a caller may hand over.
void FuzzRecord(const uint8_t* data, size_t size) {
    SYSTEMTIME st{};
    std::memcpy(&st, data, size < sizeof st ? size : sizeof st);
    CString text;
    bool ok = GetRFCTimeFormat(&st, &text);
    Check(ok ? text.GetLength() == 29 : text.IsEmpty());
    Exercise(KvTime(st));
    KvTime t;
    if (t.SetDate((int)(int16_t)st.wYear, (int)(int8_t)st.wMonth, (int)(int8_t)st.wDay)) Check(t.IsValid());
    double dayNumber = 0;
    std::memcpy(&dayNumber, data, size < sizeof dayNumber ? size : sizeof dayNumber);
    KvTime fromNumber;
    if (fromNumber.SetTime(dayNumber)) Exercise(fromNumber);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > 4096) return 0;
    const uint8_t mode = data[1];
    std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);
    text = text.substr(0, text.find('\0'));
    switch (data[0] & 3) {
        case 0: FuzzRfc(text); break;
        case 1: FuzzFixed(text); break;
        case 2: FuzzRegional(text, mode); break;
        default: FuzzRecord(data + 2, size - 2); break;
    }
    return 0;
}
