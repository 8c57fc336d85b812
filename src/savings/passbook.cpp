#include "savings/passbook.h"

#include "data/base/session.h"
#include "data/engine/dialect.h"
#include "data/engine/pool.h"
#include "data/engine/writealone.h"
#include "data/operators/supervision.h"
#include "data/trail/audit.h"

#include <QSqlError>
#include <QSqlQuery>

namespace passbook {

namespace text {
const char *const kNothingLeft = "SEMUA BARIS SUDAH DICETAK";
const char *const kPageFull = "HALAMAN PENUH. BALIK KE HALAMAN BERIKUTNYA, LALU TEKAN OK.";
const char *const kBookFull = "BUKU PENUH. MULAI BUKU BARU.";
const char *const kNewBookQuestion = "MULAI BUKU TABUNGAN BARU?";
const char *const kNotUpgraded =
    "DATABASE INI BELUM BISA MENCATAT CETAK BUKU. MINTA PETUGAS TI MENJALANKAN simparo-initdb --upgrade.";
} // namespace text

const QVector<Setting> &settings()
{
    static const QVector<Setting> all{
        {"buku_baris", &Layout::lines, 1, 99, "Baris per halaman"},
        {"buku_lipatan", &Layout::fold, 0, 99, "Lipatan sesudah baris"},
        {"buku_halaman", &Layout::pages, 1, 99, "Halaman per buku"},
        {"buku_celah", &Layout::gap, 0, 10000, "Celah lipatan (0,01 mm)"},
        {"buku_atas", &Layout::top, 0, 30000, "Margin atas (0,01 mm)"},
        {"buku_kiri", &Layout::left, 0, 30000, "Margin kiri (0,01 mm)"},
        {"buku_tinggi_baris", &Layout::lineHeight, 100, 2000, "Tinggi baris (0,01 mm)"},
        {"buku_kolom_tanggal", &Layout::date, 0, 40000, "Kolom tanggal (0,01 mm)"},
        {"buku_kolom_kode", &Layout::code, 0, 40000, "Kolom kode (0,01 mm)"},
        {"buku_kolom_debet", &Layout::debet, 0, 40000, "Kolom debet, ujung kanan (0,01 mm)"},
        {"buku_kolom_kredit", &Layout::kredit, 0, 40000, "Kolom kredit, ujung kanan (0,01 mm)"},
        {"buku_kolom_saldo", &Layout::saldo, 0, 40000, "Kolom saldo, ujung kanan (0,01 mm)"},
        {"buku_kolom_operator", &Layout::operatorName, 0, 40000, "Kolom operator (0,01 mm)"},
    };
    return all;
}

const Setting *settingNamed(const QString &key)
{
    for (const Setting &setting : settings())
        if (key == QLatin1String(setting.key))
            return &setting;
    return nullptr;
}

Outcome readLayout(QSqlDatabase &database, Layout *layout)
{
    *layout = Layout();
    const Layout defaults;
    for (const Setting &setting : settings()) {
        qint64 value = 0;
        const Outcome outcome = supervision::numberSetting(database, setting.key, defaults.*setting.field, &value);
        if (!outcome.isOk())
            return outcome;
        // A value out of bounds (written by hand) is taken as the default.
        layout->*setting.field =
            value >= setting.minimum && value <= setting.maximum ? int(value) : defaults.*setting.field;
    }
    return Outcome::ok();
}

Outcome readLayout(const QString &connectionText, Layout *layout)
{
    return db::readAlone(connectionText, [&](QSqlDatabase &database) { return readLayout(database, layout); });
}

Outcome setSetting(const QString &connectionText, const QString &key, int value)
{
    const Setting *setting = settingNamed(key);
    if (!setting)
        return Outcome::refused(QStringLiteral("Pengaturan %1 tidak dikenal.").arg(key));
    if (value < setting->minimum || value > setting->maximum)
        return Outcome::refused(QStringLiteral("%1 harus antara %2 dan %3.")
                                    .arg(QLatin1String(setting->label))
                                    .arg(setting->minimum)
                                    .arg(setting->maximum));
    if (!db::dialectFor(connectionText).hasOperatorRoles())
        return supervision::setNumberSetting(connectionText, setting->key, value);
    // On a server the server checks the session's role and writes the trail row.
    return db::writeAlone(connectionText, [&](QSqlDatabase &database) {
        QSqlQuery query(database);
        if (!query.prepare(QStringLiteral("SELECT simparo_ubah_pengaturan_buku(CAST(? AS text), CAST(? AS text), "
                                          "CAST(? AS text), CAST(? AS text))")))
            return Outcome::failed(db::describeError(query.lastError(), database));
        for (const QVariant &bound : QVariantList{QLatin1String(setting->key), QString::number(value),
                                                  audit::currentZone(), session::counterName()})
            query.addBindValue(bound);
        if (query.exec())
            return Outcome::ok();
        const Outcome failed = Outcome::failed(db::describeError(query.lastError(), database));
        if (failed.message().contains(QLatin1String("hanya penyelia")))
            return Outcome::refused(QString::fromLatin1(supervision::text::kSupervisorsOnly));
        return failed;
    });
}

Position next(const Position &last, const Layout &layout)
{
    Position position = last;
    if (position.line >= layout.lines) {
        ++position.page;
        position.line = 1;
    } else {
        ++position.line;
    }
    return position;
}

bool full(const Position &position, const Layout &layout)
{
    return position.page > layout.pages;
}

Plan plan(const Position &last, int rows, const Layout &layout)
{
    Plan result;
    Position at = last;
    for (int row = 0; row < rows; ++row) {
        const Position line = next(at, layout);
        if (full(line, layout)) {
            result.bookFull = true;
            break;
        }
        if (line.page != at.page)
            result.turns << row;
        result.lines << line;
        at = line;
    }
    return result;
}

QString kindText(Kind kind)
{
    switch (kind) {
    case Kind::Reprint:
        return QStringLiteral("ulang");
    case Kind::NewBook:
        return QStringLiteral("baru");
    case Kind::SetPosition:
        return QStringLiteral("atur");
    case Kind::Print:
        break;
    }
    return QStringLiteral("cetak");
}

int Book::printedCount() const
{
    if (!lastKey)
        return 0;
    int count = 0;
    for (const Row &row : rows)
        if (row.key <= *lastKey)
            ++count;
    return count;
}

QString refusalOf(const QString &words)
{
    const std::pair<const char *, const char *> known[] = {
        {"cetak_buku: baris ini sudah dicetak", text::kNothingLeft},
    };
    for (const auto &[said, meant] : known)
        if (words.contains(QLatin1String(said)))
            return QString::fromLatin1(meant);
    return words;
}

} // namespace passbook
