// The proxy's message table, registered when the library loads.
#include <iterator>

#include "base/platform/StringTable.h"

namespace {

const KvStringEntry kProxyMessages[] = {
    {1, "File konfigurasi tidak ada. Cek apakah file %s berada dalam satu direktori dengan %s"},
    {2, "File konfigurasi salah format. Ini pada umumnya disebabkan karena file tersebut diubah oleh pemakainya "
        "diluar program."},
    {3, "Gagal membuat cachedb object %s. Memori terbatas. \nTutup semua program yang lain dan jalankan kembali "
        "Kavori Varunda."},
    {4, "Gagal membuka cache %s. Cek keberadaan file tersebut pada direktori cache"},
    {5, "Ekpresi %s tidak bisa digunakan untuk manajemen cache. Cek confog.txt seksi [Cache Files]"},
    {6, "KwProxy tidak dapat dijalankan. Port %d telah digunakan oleh aplikasi lain"},
    {7, "Mohon maaf. KwProxy hanya melayani permintaan dari komputer yang sama."},
    {8, "File %s tak ada"},
    {201, "<html><title>KwProxy</title></html>\r\n<body>%s\r\n</body>\r\n</html>"},
    {202, "<h1>KwProxy</h1><p>Permintaan anda: %s</p>"},
};

const KvStringTableRegistrar kRegistrar(kProxyMessages, std::size(kProxyMessages));

}  // namespace
