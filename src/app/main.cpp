#include "app/qttexts.h"
#include "app/startup.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] =
    "Pemakaian: simparo\n"
    "\n"
    "SIMPARO, tabungan pelajar dan mahasiswa PT.BPRS.MERANTIKA: login, daftar nasabah,\n"
    "setoran dan penarikan, mutasi dan saldo, laporan, ganti password.\n"
    "\n"
    "Program ini tidak memakai argumen. Database-nya ada di ~/SKRIP/asli.sqlite, atau\n"
    "di server yang dinamai file pengaturan ~/.config/simparo/koneksi atau\n"
    "/etc/simparo/koneksi (lihat /usr/share/doc/simparo/admin/server.md).\n"
    "\n"
    "Opsi:\n"
    "  -h, --help  Tampilkan bantuan ini.\n"
    "\n"
    "Untuk bagian TI: simparo-initdb, simparo-import, simparo-backup, simparo-verify,\n"
    "simparo-operator dan simparo-migrate (masing-masing dengan --help).\n";

// The program takes nothing on its command line but a request for its usage. It
// is answered before the application is made, which would take Qt's own options
// (in English) from it: none of them is offered. Exit code 2: a wrong command line.
int commandLine(int argc, char *argv[])
{
    if (argc < 2)
        return -1;
    if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    // The first argument that is not a request for help.
    int wrong = 1;
    while (wrong < argc - 1 && (std::strcmp(argv[wrong], "-h") == 0 || std::strcmp(argv[wrong], "--help") == 0))
        ++wrong;
    std::fprintf(stderr, "simparo: argumen tidak dikenal: %s\nLihat: simparo --help\n", argv[wrong]);
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    if (const int ended = commandLine(argc, argv); ended >= 0)
        return ended;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("SIMPARO"));
    useIndonesianQtTexts();
    if (!startProgram())
        return 1;
    return app.exec();
}
