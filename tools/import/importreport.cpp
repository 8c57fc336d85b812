// The report of an import: what was read, brought in and set aside, with every
// finding, saved as a private file beside the target.
#include "importer_p.h"

#include "data/base/privatefiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace import {

QString buildReport(const Options &options, const QString &target, bool existing, const Analysis &analysis,
                    qint64 hashed)
{
    QStringList lines;
    const qint64 customers = analysis.customers(), setAside = analysis.setAside();
    lines << QStringLiteral("Impor data lama ke SIMPARO")
          << QStringLiteral("Sumber : %1")
                 .arg(legacy::printable(QDir::toNativeSeparators(QFileInfo(options.source).absoluteFilePath())))
          << QStringLiteral("Tujuan : %1 (%2)")
                 .arg(legacy::printable(QDir::toNativeSeparators(target)),
                      existing ? QStringLiteral("ditambahkan ke database yang sudah ada")
                               : QStringLiteral("database baru"))
          << QStringLiteral("Waktu  : %1").arg(QDateTime::currentDateTime().toString(Qt::ISODate)) << QString()
          << QStringLiteral("daftar    : %1 baris terbaca, %2 dimasukkan, %3 disisihkan ke tabel %4")
                 .arg(customers)
                 .arg(customers - setAside)
                 .arg(setAside)
                 .arg(QLatin1String(kSetAsideTable))
          << QStringLiteral("nabubg    : %1 baris terbaca, %1 dimasukkan").arg(analysis.postings())
          << QStringLiteral("tpassword : %1 baris terbaca, %1 dimasukkan").arg(analysis.users()) << QString();
    lines << QStringLiteral("Anomali: %1, catatan: %2.").arg(analysis.anomalies()).arg(analysis.notices());
    if (analysis.text().isEmpty())
        lines << QStringLiteral("Semua baris dimasukkan apa adanya; tidak ada yang perlu diperiksa.");
    else
        lines << QStringLiteral("Nomor baris dihitung dari 1 menurut urutan simpan di file lama.");
    QString text = lines.join(u'\n') + u'\n' + QString::fromUtf8(analysis.text());
    if (analysis.users() > 0)
        text += QStringLiteral("\nPENTING: operator lama yang dibawa: %1. Password mereka (%2 tertulis sebagai teks "
                               "biasa) kini disimpan sebagai hash dan tetap bisa dipakai untuk login. Password itu "
                               "masih tertulis sebagai teks biasa di file lama: minta setiap operator segera "
                               "menggantinya lewat menu \"Ganti Password\".\n")
                    .arg(analysis.userNames().join(QStringLiteral(", ")), QString::number(hashed))
              + QStringLiteral("Mereka semua kasir. Untuk menjadikan salah satunya penyelia (yang menyetujui "
                               "penarikan besar dan mengubah pengaturan): simparo-operator peran NAMA penyelia\n");
    return text;
}

bool saveReport(const QString &base, QString *text, QString *file, QString *error)
{
    const QString stem =
        base + QStringLiteral(".impor-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int i = 1; i < 100; ++i) {
        const QString name = i == 1 ? stem + QStringLiteral(".txt") : stem + QStringLiteral("-%1.txt").arg(i);
        const int fd = privatefiles::createFile(AT_FDCWD, name);
        if (fd < 0 && errno == EEXIST)
            continue;
        const QString full = *text
            + QStringLiteral("\nLaporan ini disimpan di %1\n").arg(legacy::printable(QDir::toNativeSeparators(name)));
        QFile out;
        if (fd >= 0 && out.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
            const bool written = out.write(full.toUtf8()) >= 0 && out.flush() && ::fsync(fd) == 0;
            out.close();
            if (written) {
                *text = full;
                *file = name;
                return true;
            }
            QFile::remove(name);
        } else if (fd >= 0) {
            ::close(fd);
        }
        break;
    }
    *error = QStringLiteral("Laporan %1 tidak bisa ditulis.").arg(legacy::printable(QDir::toNativeSeparators(stem)));
    return false;
}

} // namespace import
