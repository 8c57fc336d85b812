#include "data/engine/messages.h"

#include "data/base/privatefiles.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace db {


QString detailOf(const QSqlError &error)
{
    QString detail = error.databaseText().isEmpty() ? error.driverText() : error.databaseText();
    return detail.trimmed();
}

QString withDetail(const QString &text, const QSqlError &error)
{
    const QString detail = detailOf(error);
    return detail.isEmpty() ? text : text + QStringLiteral("\n(%1)").arg(detail);
}

// ---------------------------------------------------------------------------
// Files

QString notFoundText(const QString &file)
{
    return QStringLiteral("Database %1 tidak ditemukan.\n"
                          "Buat database baru dengan menjalankan simparo-initdb, "
                          "atau kembalikan file dari cadangan.")
        .arg(QDir::toNativeSeparators(file));
}

QString placeProblemText(const QString &file)
{
    if (!QFileInfo::exists(file) && !QFileInfo(file).isSymLink())
        return notFoundText(file);
    const QString other = privatefiles::otherThanFile(file);
    if (other.isEmpty())
        return QFileInfo::exists(file) ? QString() : notFoundText(file);
    return QStringLiteral("Di tempat database %1 ada %2, bukan file database.\n"
                          "Pindahkan %2 itu, lalu kembalikan file database dari cadangan, "
                          "atau buat database baru dengan simparo-initdb.")
        .arg(QDir::toNativeSeparators(file), other);
}

QString notSqliteText(const QString &file)
{
    return QStringLiteral("File %1 bukan database SIMPARO (bukan database SQLite) atau rusak.\n"
                          "Kembalikan file dari cadangan, atau buat database baru dengan simparo-initdb.")
        .arg(QDir::toNativeSeparators(file));
}

QString fileIncompleteText(const QString &file, const QString &missing)
{
    return QStringLiteral("Database %1 tidak lengkap: %2 tidak ada.\n"
                          "Kembalikan file dari cadangan, atau buat database baru dengan simparo-initdb.")
        .arg(QDir::toNativeSeparators(file), missing);
}

QString fileNoTrailText(const QString &file)
{
    return QStringLiteral("Database %1 dibuat oleh SIMPARO versi lama: jejak audit (tabel jejak) belum ada.\n"
                          "Jalankan sekali: simparo-initdb --upgrade --from %1\n"
                          "lalu mulai SIMPARO lagi.")
        .arg(QDir::toNativeSeparators(file));
}

QString unsafeFileText(const QString &file)
{
    return QStringLiteral("Database %1 tidak bisa ditulis dengan aman (synchronous bukan FULL).\n"
                          "Data bisa hilang bila listrik padam; SIMPARO tidak memakai sambungan ini.")
        .arg(QDir::toNativeSeparators(file));
}

// ---------------------------------------------------------------------------
// The setting file

QString settingProblemText(const QString &file, const QString &problem)
{
    return QStringLiteral("Pengaturan koneksi di file %1 tidak sah: %2.\n"
                          "Isi file itu satu baris, misalnya: Provider=PostgreSQL;Data Source=simparo\n"
                          "(nama layanan dari pg_service.conf). Perbaiki atau hapus file itu, lalu ulangi.")
        .arg(QDir::toNativeSeparators(file), problem);
}

QString invalidConnectionText(const QString &problem)
{
    return QStringLiteral("Teks koneksi tidak sah: %1.").arg(problem);
}

// ---------------------------------------------------------------------------
// Servers

QString serverLocation(const QString &service)
{
    return QStringLiteral("server PostgreSQL (layanan \"%1\")").arg(service);
}

QString serverIncompleteText(const QString &location, const QString &missing)
{
    return QStringLiteral("Database di %1 tidak lengkap: %2 tidak ada.\n"
                          "Buat tabelnya dengan simparo-initdb --server, atau pulihkan dari cadangan (pg_dump).")
        .arg(location, missing);
}

QString serverNoTrailText(const QString &location, const QString &service)
{
    return QStringLiteral("Database di %1 dibuat oleh SIMPARO versi lama: jejak audit (tabel jejak) belum ada.\n"
                          "Minta pengelola server menjalankan sekali: simparo-initdb --upgrade --server %2\n"
                          "lalu mulai SIMPARO lagi.")
        .arg(location, service);
}

QString unsafeServerText(const QString &location, const QString &setting)
{
    return QStringLiteral("Database di %1 tidak bisa ditulis dengan aman (%2 di server).\n"
                          "Data bisa hilang bila listrik padam; SIMPARO tidak memakai sambungan ini.")
        .arg(location, setting);
}

QString noServerDriverText(const QString &location)
{
    return QStringLiteral("SIMPARO tidak bisa tersambung ke %1: driver PostgreSQL untuk Qt tidak terpasang.\n"
                          "Pasang paket libqt6sql6-psql, lalu ulangi.")
        .arg(location);
}

namespace {
// The names in libpq's words for a certificate of another host: the names it is
// for, and the host that was asked for.
QString certificateNames(const QSqlError &error)
{
    static const QRegularExpression names(
        QStringLiteral("server certificate for (\"[^\"]*\")(?: \\(and (\\d+) other names?\\))? does not match host name (\"[^\"]*\")"));
    const QRegularExpressionMatch match = names.match(detailOf(error));
    if (!match.hasMatch())
        return {};
    const QString others = match.captured(2).isEmpty() ? QString() : QStringLiteral(" dan %1 nama lain").arg(match.captured(2));
    return QStringLiteral(" (sertifikat untuk %1%2, sambungan ke %3)").arg(match.captured(1), others, match.captured(3));
}

// The root certificate file libpq names when it is missing.
QString missingRootFile(const QSqlError &error, const QString &fallback)
{
    static const QRegularExpression file(QStringLiteral("root certificate file \"([^\"]*)\" does not exist"));
    const QRegularExpressionMatch match = file.match(detailOf(error));
    return match.hasMatch() ? match.captured(1) : fallback;
}
} // namespace

QString connectFailureText(ConnectFailure cause, const QString &service, const ConnectContext &context,
                           const QSqlError &error)
{
    QString text;
    switch (cause) {
    case ConnectFailure::UnknownService: {
        QStringList files;
        for (const QString &path : context.serviceFiles)
            files << QDir::toNativeSeparators(path);
        text = QStringLiteral("Layanan \"%1\" tidak ada di file layanan PostgreSQL (dicari di: %2).\n"
                              "Tambahkan bagian [%1] dengan host, port, dbname dan user, "
                              "atau perbaiki nama layanan di pengaturan koneksi.")
                   .arg(service, files.join(QStringLiteral(", ")));
        break;
    }
    case ConnectFailure::LoginRefused:
        if (!context.passwordFileProblem.isEmpty())
            text = QStringLiteral("Server menolak login karena password tidak terkirim: file password %1 diabaikan "
                                  "(%2).\nJalankan chmod 600 %1 (file biasa milik pengguna ini), lalu ulangi.")
                       .arg(QDir::toNativeSeparators(context.passwordFile), context.passwordFileProblem);
        else
            text = QStringLiteral("Server menolak login. Periksa role (user) di file layanan dan password di %1.")
                       .arg(QDir::toNativeSeparators(context.passwordFile));
        break;
    case ConnectFailure::NoDatabase:
        text = QStringLiteral("Database yang disebut layanan itu (dbname) tidak ada di server.");
        break;
    case ConnectFailure::Unreachable:
        text = QStringLiteral("Server tidak bisa dihubungi: pastikan server menyala dan jaringan tersambung, lalu ulangi.");
        break;
    case ConnectFailure::SslOff:
        text = QStringLiteral("Server tidak memakai SSL (ssl = off di server), padahal sambungan ini mewajibkan SSL; "
                              "password tidak dikirim.\n"
                              "Nyalakan ssl = on dengan sertifikat server di server itu (lihat "
                              "/usr/share/doc/simparo/admin/server.md), lalu ulangi.");
        break;
    case ConnectFailure::UntrustedCertificate:
        text = QStringLiteral("Sertifikat server tidak dipercaya: tidak ditandatangani oleh CA cabang di %1. "
                              "Bisa jadi itu server palsu; password tidak dikirim.\n"
                              "Pastikan sslrootcert di file layanan menunjuk ke sertifikat CA cabang, dan server "
                              "memakai sertifikat yang ditandatangani CA itu.")
                   .arg(QDir::toNativeSeparators(context.rootCertificate));
        break;
    case ConnectFailure::NoRootCertificate:
        text = QStringLiteral("File sertifikat CA cabang %1 tidak ada, jadi sertifikat server tidak bisa diperiksa; "
                              "password tidak dikirim.\n"
                              "Salin sertifikat CA cabang ke sana, atau tulis letaknya di sslrootcert= di file layanan.")
                   .arg(QDir::toNativeSeparators(missingRootFile(error, context.rootCertificate)));
        break;
    case ConnectFailure::WrongHostName:
        text = QStringLiteral("Sertifikat server bukan untuk nama host yang dituju%1. "
                              "Bisa jadi itu server palsu; password tidak dikirim.\n"
                              "Tulis di host= nama atau alamat yang ada di sertifikat server (subjectAltName), "
                              "atau buat sertifikat server untuk nama itu.")
                   .arg(certificateNames(error));
        break;
    case ConnectFailure::TooManyConnections:
        text = QStringLiteral("Server menolak sambungan baru: batas jumlah sambungan sudah tercapai (semua loket "
                              "bersama, atau peran ini).\nTutup SIMPARO di loket yang tidak dipakai lalu ulangi; bila "
                              "tetap begitu, petugas TI memeriksa sambungan yang menggantung di server "
                              "(pg_stat_activity).");
        break;
    case ConnectFailure::NoChannelBinding:
        text = QStringLiteral("Server tidak membuktikan dirinya dengan SCRAM channel binding (channel_binding=require); "
                              "password tidak dikirim.\n"
                              "Di server, baris pg_hba.conf untuk loket harus hostssl ... scram-sha-256, dan password "
                              "role harus disimpan sebagai SCRAM.");
        break;
    }
    return withDetail(QStringLiteral("SIMPARO tidak bisa tersambung ke %1.\n%2").arg(serverLocation(service), text), error);
}

QString weakTlsText(const QString &service, const QString &host, const QString &mode, const SettingOrigin &origin)
{
    QString from;
    if (!origin.variable.isEmpty())
        from = QStringLiteral("Pengaturan itu berasal dari variabel lingkungan %1.").arg(origin.variable);
    else if (origin.missing)
        from = QStringLiteral("Bagian [%1] di file %2 baris %3 tidak menulis sslmode, jadi libpq memakai %4.")
                   .arg(service, QDir::toNativeSeparators(origin.file)).arg(origin.line).arg(mode);
    else
        from = QStringLiteral("Pengaturan itu ada di file %1 baris %2.")
                   .arg(QDir::toNativeSeparators(origin.file)).arg(origin.line);
    return QStringLiteral("SIMPARO tidak mau tersambung ke %1: sambungan lewat jaringan ke host %2 memakai sslmode=%3, "
                          "yang tidak memeriksa sertifikat server sepenuhnya, sehingga server palsu bisa menerima "
                          "password. Tidak ada yang dikirim ke server.\n%4\n"
                          "Tulis sslmode=verify-full dan sslrootcert= (sertifikat CA cabang) di bagian [%5] file layanan, "
                          "lalu ulangi. Sambungan lewat socket lokal atau ke localhost tidak memerlukannya.")
        .arg(serverLocation(service), host, mode, from, service);
}

QString silentServerText(const QString &location, int seconds)
{
    return QStringLiteral("Sambungan ke %1 diputus: server tidak menjawab dalam %2 detik (jaringan terputus atau "
                          "server macet), sebelum tindakan ini selesai.\n"
                          "SIMPARO menyambung kembali pada tindakan berikutnya: setelah server menyala dan jaringan "
                          "tersambung, periksa datanya lalu ulangi bila perlu.")
        .arg(location)
        .arg(seconds);
}

QString lostText(const QString &location, const QSqlError &error)
{
    return withDetail(QStringLiteral("Sambungan ke %1 terputus sebelum tindakan ini selesai.\n"
                                     "SIMPARO menyambung kembali pada tindakan berikutnya: setelah server menyala "
                                     "dan jaringan tersambung, periksa datanya lalu ulangi bila perlu.")
                          .arg(location),
                      error);
}

QString serverErrorText(const QSqlError &error, const QString &location)
{
    const QString state = error.nativeErrorCode();
    QString text;
    if (state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P")))
        return lostText(location, error);
    if (state == QLatin1String("55P03") || state == QLatin1String("40P01") || state == QLatin1String("40001"))
        text = QStringLiteral("Data di %1 sedang dikunci oleh loket lain.\nTunggu sebentar, lalu ulangi.").arg(location);
    else if (state == QLatin1String("25006"))
        text = QStringLiteral("Database di %1 tidak bisa ditulis (hanya-baca).\n"
                              "Hubungi pengelola server, lalu ulangi.").arg(location);
    else if (state == QLatin1String("42501") || state.startsWith(QLatin1String("28")))
        text = QStringLiteral("Role SIMPARO tidak berhak memakai data ini di %1.\n"
                              "Hubungi pengelola server.").arg(location);
    else if (state == QLatin1String("53200")) // out of (shared) memory: the lock table, most often
        text = QStringLiteral("Memori server %1 penuh, atau tempat kuncinya habis (max_locks_per_transaction: "
                              "sebuah posting bagi hasil mengunci setiap rekening).\n"
                              "Hubungi pengelola server, lalu ulangi.").arg(location);
    else if (state.startsWith(QLatin1String("53")))
        text = QStringLiteral("Disk atau memori %1 penuh.\nHubungi pengelola server, lalu ulangi.").arg(location);
    else if (state.startsWith(QLatin1String("23")))
        text = QStringLiteral("Database di %1 menolak data ini.").arg(location);
    else if (state == QLatin1String("42P01"))
        text = QStringLiteral("Database di %1 tidak lengkap.\n"
                              "Buat tabelnya dengan simparo-initdb --server, atau pulihkan dari cadangan.").arg(location);
    else if (state.startsWith(QLatin1String("58")) || state.startsWith(QLatin1String("XX")))
        text = QStringLiteral("Terjadi kesalahan baca/tulis pada %1.\nHubungi pengelola server, lalu ulangi.").arg(location);
    else
        text = QStringLiteral("Terjadi kesalahan pada database di %1.").arg(location);
    return withDetail(text, error);
}

QString savedAfterBreakText(const QString &location)
{
    return QStringLiteral("Sambungan ke %1 sempat terputus saat transaksi ini disimpan. Setelah tersambung kembali, "
                          "SIMPARO memeriksanya: transaksi ini SUDAH TERSIMPAN, satu kali.\n"
                          "Jangan diulang.")
        .arg(location);
}

QString savedBeforeText(const QString &location)
{
    return QStringLiteral("Transaksi ini ternyata sudah tersimpan di %1 pada SAVE sebelumnya (yang jawabannya "
                          "hilang karena sambungan terputus). Transaksi ini tidak disimpan dua kali.")
        .arg(location);
}

QString notSavedText(const QString &location, const QString &cause)
{
    return QStringLiteral("Transaksi ini TIDAK tersimpan: SIMPARO memeriksanya lagi di %1, dan tidak ada yang ditulis.\n"
                          "Isian tetap ada: klik SAVE lagi untuk menyimpannya.\n(%2)")
        .arg(location, cause);
}

QString outcomeUnknownText(const QString &location, const QString &cause, const QString &why)
{
    return QStringLiteral("Belum bisa dipastikan apakah transaksi ini sudah tersimpan: %1 belum bisa ditanya lagi.\n"
                          "Isian tetap ada. Klik SAVE lagi setelah server menyala dan jaringan tersambung: "
                          "bila transaksi ini ternyata sudah tersimpan, SIMPARO tidak menyimpannya dua kali.\n"
                          "(%2)\n(%3)")
        .arg(location, cause, why);
}

} // namespace db
