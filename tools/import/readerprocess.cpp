// The old file read by simparo-mdb-reader in a process of its own, under limits
// of time and memory, its stream decoded as it comes.
#include "legacyreader.h"

#include "mdbstream.h"
#include "data/base/textforms.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStringDecoder>
#include <QTime>
#include <cmath>
#include <cstring>
#include <sys/resource.h>

namespace legacy {

namespace {
QString exitMessage(int code, const QString &file, const QString &detail)
{
    QString text;
    switch (code) {
    case mdbstream::kCannotOpen:
        text =
            QStringLiteral("File %1 tidak bisa dibuka sebagai file Access (Jet), atau bagian awalnya rusak.").arg(file);
        break;
    case mdbstream::kTruncated:
        text = QStringLiteral("File %1 terpotong: panjangnya bukan kelipatan halaman file Access. "
                              "Ambil lagi salinan yang utuh dari komputer lama.")
                   .arg(file);
        break;
    case mdbstream::kNoTable:
        text = QStringLiteral("File %1 tidak memuat tabel yang dibutuhkan (daftar, nabubg, tpassword).").arg(file);
        break;
    case mdbstream::kBadTable:
    case mdbstream::kValueTooLong:
    case mdbstream::kBadDate:
        text = QStringLiteral("File %1 rusak: isi tabelnya tidak bisa dibaca dengan benar.").arg(file);
        break;
    default:
        text = QStringLiteral("Pembaca file Access berhenti dengan kode %1 saat membaca %2.")
                   .arg(QString::number(code), file);
        break;
    }
    if (!detail.isEmpty())
        text += QStringLiteral(" (%1)").arg(detail);
    return text;
}

constexpr const char *kRepairAdvice =
    "Perbaiki file itu dulu dengan \"Compact and Repair Database\" di Microsoft Access, lalu ulangi.";
} // namespace

Limits limitsFor(qint64 fileSize, int silenceMs)
{
    // A sound file is read at tens of MiB a second with a few MiB of memory: a
    // minute plus two seconds per MiB, and half a minute of CPU time plus one
    // second per MiB, are far beyond it, and still end a reader that loops.
    const qint64 mib = fileSize / (1 << 20);
    Limits limits;
    limits.silenceMs = silenceMs;
    limits.totalMs = (60 + 2 * mib) * 1000;
    limits.cpuSeconds = 30 + mib;
#if !defined(__SANITIZE_ADDRESS__)
    // (AddressSanitizer reserves far more address space than any program uses.)
    limits.addressSpace = (qint64(256) << 20) + 4 * fileSize;
#endif
    return limits;
}

ReadResult readFile(const QString &readerProgram, const QString &mdbFile, const QStringList &tables,
                    const Limits &limits, Sink *sink, const std::function<void(const Progress &)> &progress)
{
    ReadResult result;
    const QFileInfo info(mdbFile);
    const QString shownFile = printable(QDir::toNativeSeparators(info.absoluteFilePath()));
    if (!info.isFile() || !info.isReadable()) {
        result.error = QStringLiteral("File %1 tidak ditemukan atau tidak bisa dibaca.").arg(shownFile);
        return result;
    }

    QProcess process;
    // The reader sees nothing of the operator's settings: the C locale with UTF-8.
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setInputChannelMode(QProcess::ManagedInputChannel);
    // Set in the child before it starts the reader: no core file, and the limits.
    const rlim_t cpu = rlim_t(limits.cpuSeconds), space = rlim_t(limits.addressSpace);
    process.setChildProcessModifier([cpu, space] {
        struct rlimit none = {0, 0};
        ::setrlimit(RLIMIT_CORE, &none);
        if (cpu > 0) {
            const struct rlimit time = {cpu, cpu + 5};
            ::setrlimit(RLIMIT_CPU, &time);
        }
        if (space > 0) {
            const struct rlimit memory = {space, space};
            ::setrlimit(RLIMIT_AS, &memory);
        }
    });
    process.start(readerProgram, QStringList{info.absoluteFilePath()} + tables, QIODevice::ReadOnly);
    if (!process.waitForStarted(10000)) {
        result.error =
            QStringLiteral("Program pembaca file Access (%1) tidak bisa dijalankan: %2. Pasang ulang SIMPARO.")
                .arg(QDir::toNativeSeparators(readerProgram), process.errorString());
        return result;
    }

    StreamDecoder decoder(tables, sink);
    QByteArray errors;
    // Only the time spent waiting for the reader counts, not the time the sink
    // spends on the rows (writing them to a server, say).
    qint64 waited = 0, silent = 0;
    bool streamBad = false;
    bool silentTooLong = false, tooLong = false;
    auto take = [&] {
        const QByteArray out = process.readAllStandardOutput();
        // Only the end of what the reader says matters: its own last word on why it stopped.
        errors += process.readAllStandardError();
        if (errors.size() > 4000)
            errors = errors.right(2000);
        // Warnings on stderr come also from a reader that loops: only the stream shows progress.
        if (!out.isEmpty())
            silent = 0;
        if (!out.isEmpty() && !decoder.feed(out))
            streamBad = true;
        if (progress && !decoder.tables().isEmpty()) {
            const Table &current = decoder.tables().last();
            progress({current.name, current.rows, current.declaredRows});
        }
    };
    QElapsedTimer clock;
    while (process.state() != QProcess::NotRunning) {
        clock.start();
        process.waitForReadyRead(100);
        waited += clock.elapsed();
        silent += clock.elapsed();
        take();
        if (streamBad)
            break;
        silentTooLong = silent > limits.silenceMs;
        tooLong = limits.totalMs > 0 && waited > limits.totalMs;
        if (silentTooLong || tooLong)
            break;
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
    if (!streamBad && !silentTooLong && !tooLong)
        take();

    const QString detail = printable(QString::fromUtf8(errors).trimmed().section(u'\n', -1));
    if (decoder.stopped()) {
        result.error = decoder.error();
    } else if (silentTooLong) {
        result.error = QStringLiteral("Pembaca file Access tidak memberi hasil selama %1 detik saat membaca %2 "
                                      "dan dihentikan. File itu kemungkinan rusak. %3")
                           .arg(limits.silenceMs / 1000.0)
                           .arg(shownFile, QLatin1String(kRepairAdvice));
    } else if (tooLong) {
        result.error = QStringLiteral("Pembaca file Access belum selesai membaca %1 sesudah %2 detik dan dihentikan. "
                                      "File itu kemungkinan rusak. %3")
                           .arg(shownFile)
                           .arg(limits.totalMs / 1000.0)
                           .arg(QLatin1String(kRepairAdvice));
    } else if (process.exitStatus() == QProcess::CrashExit && !streamBad) {
        result.error = QStringLiteral("Pembaca file Access berhenti mendadak (crash) saat membaca %1. "
                                      "File itu kemungkinan rusak. %2")
                           .arg(shownFile, QLatin1String(kRepairAdvice));
    } else if (streamBad) {
        result.error = QStringLiteral("Keluaran pembaca file Access untuk %1 tidak sah: %2. "
                                      "File itu kemungkinan rusak. %3")
                           .arg(shownFile, decoder.error(), QLatin1String(kRepairAdvice));
    } else if (process.exitCode() != 0) {
        result.error = exitMessage(process.exitCode(), shownFile, detail) + u' ' + QLatin1String(kRepairAdvice);
    } else if (!decoder.complete()) {
        result.error = QStringLiteral("Keluaran pembaca file Access untuk %1 tidak sah: %2. "
                                      "File itu kemungkinan rusak. %3")
                           .arg(shownFile, decoder.error(), QLatin1String(kRepairAdvice));
    }
    if (!result.error.isEmpty())
        return result;

    // A table whose definition states another row count than its pages hold has
    // damaged or lost pages: libmdb skips what it cannot read without a word.
    for (const Table &table : decoder.tables()) {
        if (quint64(table.rows) != table.declaredRows) {
            result.error = QStringLiteral("File %1 rusak: tabel %2 menyatakan %3 baris, tetapi hanya %4 yang "
                                          "bisa dibaca. %5")
                               .arg(shownFile, table.name)
                               .arg(table.declaredRows)
                               .arg(table.rows)
                               .arg(QLatin1String(kRepairAdvice));
            return result;
        }
    }
    result.tables = decoder.tables();
    result.ok = true;
    return result;
}

} // namespace legacy
