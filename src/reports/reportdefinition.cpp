#include "reportdefinition.h"

namespace reports {

namespace {
using Kind = ReportSection::Kind;

struct Column {
    const char *label;
    const char *heading;
    const char *field;
    const char *column;
};

ReportDefinition tableReport(const char *name, const char *caption, const char *environment, const char *member,
                             const ReportSection &reportHeader, const char *detailName,
                             std::initializer_list<Column> columns, QPageLayout::Orientation orientation)
{
    ReportDefinition report;
    report.name = QString::fromLatin1(name);
    report.caption = QString::fromLatin1(caption);
    report.dataEnvironment = QString::fromLatin1(environment);
    report.dataMember = QString::fromLatin1(member);
    report.orientation = orientation;
    report.sections[0] = reportHeader;
    report.sections[1] = {Kind::PageHeader, QStringLiteral("PageHeader"), {}};
    report.sections[2] = {Kind::Detail, QString::fromLatin1(detailName), {}};
    report.sections[3] = {Kind::PageFooter, QStringLiteral("PageFooter"), {}};
    report.sections[4] = {Kind::ReportFooter, QStringLiteral("ReportFooter"), {}};
    int slot = 0;
    for (const Column &c : columns) {
        report.sections[1].items << ReportItem::label(QString::fromLatin1(c.label), QString::fromLatin1(c.heading), slot);
        report.sections[2].items << ReportItem::field(QString::fromLatin1(c.field), QString::fromLatin1(c.column), slot);
        ++slot;
    }
    return report;
}
} // namespace

const ReportDefinition &datar()
{
    static const ReportDefinition report = tableReport(
        "DATAR", "LAPORAN DATA TABUNGAN SISWA", "DMN", "Command2",
        {Kind::ReportHeader,
         QStringLiteral("ReportHeader"),
         {ReportItem::label(QStringLiteral("Label9"),
                            QStringLiteral("LAPORAN DATA TABUNGAN NASABAH SISWA PT.BPRS MERANTIKA")),
          // The account's block, when it has one.
          ReportItem::label(QStringLiteral("lblBLOKIR"), QStringLiteral("{blokir}"))}},
        "Command2_Detail",
        {{"Label1", "No Rekening", "txtnorekening", "norekening"},
         {"Label2", "Nama", "txtnama", "nama"},
         {"Label3", "Tanggal", "txtTANGGAL", "TANGGAL"},
         {"Label6", "Kode", "txtkode", "kode"},
         {"Label4", "Jenis", "txtJenis", "Jenis"},
         {"Label5", "Debet", "txtdebet", "debet"},
         {"Label7", "Kredit", "txtkredit", "kredit"},
         {"Label8", "Saldo", "txtsaldo", "saldo"}},
        QPageLayout::Portrait);
    return report;
}

const ReportDefinition &lapnasabah()
{
    static const ReportDefinition report = tableReport(
        "LAPNASABAH", "LAPORAN DATA NASABAH  SISWA", "DE", "NASABAH",
        {Kind::ReportHeader,
         QStringLiteral("Rnasabah"),
         {ReportItem::label(QStringLiteral("Label10"), QStringLiteral("LAPORAN DATA NASABAH SISWA PT.BPRS MERANTIKA"))}},
        "NASABAH_Detail",
        {{"Label1", "NO REKENING", "txtnorekening", "norekening"},
         {"Label2", "NAMA", "txtnama", "nama"},
         {"Label3", "TEMPAT", "txttempat", "tempat"},
         {"Label4", "TGL_LAHIR", "txttgllahir", "tgllahir"},
         {"Label5", "ALAMAT", "txtalamat", "alamat"},
         {"Label6", "KOTA", "Text2", "kota"},
         {"Label7", "KODE", "txtkode", "kode"},
         {"Label8", "PENDIDIKAN", "txtPENDIDIKAN", "PENDIDIKAN"},
         {"Label9", "TELPHON", "Text1", "TELPHON"}},
        QPageLayout::Landscape);
    return report;
}

const ReportDefinition &harian()
{
    static const ReportDefinition report = [] {
        ReportDefinition r = tableReport(
            "HARIAN", "LAPORAN TRANSAKSI HARIAN SISWA", "DMN", "HARIAN",
            {Kind::ReportHeader,
             QStringLiteral("ReportHeader"),
             {ReportItem::label(QStringLiteral("Label10"), QStringLiteral("LAPORAN TRANSAKSI HARIAN PT.BPRS MERANTIKA")),
              ReportItem::label(QStringLiteral("Label11"), QStringLiteral("Tanggal {tanggal}"))}},
            "HARIAN_Detail",
            {{"Label1", "Jam", "txtjam", "jam"},
             {"Label2", "Operator", "txtoperator", "operator"},
             {"Label3", "Loket", "txtloket", "loket"},
             {"Label4", "No Rekening", "txtnorekening", "norekening"},
             {"Label5", "Nama", "txtnama", "nama"},
             {"Label6", "Kode", "txtkode", "kode"},
             {"Label20", "Jenis", "txtJenis", "Jenis"},
             {"Label7", "Debet", "txtdebet", "debet"},
             {"Label8", "Kredit", "txtkredit", "kredit"},
             {"Label9", "Saldo", "txtsaldo", "saldo"}},
            QPageLayout::Landscape);
        const QString transactions = QStringLiteral("%1 transaksi");
        r.totals = {
            {QStringLiteral("JumlahOperator"),
             QStringLiteral("operator"),
             {ReportItem::label(QStringLiteral("Label12"), QStringLiteral("Jumlah"), 0),
              // Rows brought over from the old program, or written before the
              // audit trail was kept, name no operator.
              ReportItem::field(QStringLiteral("txtJumlahOperator"), QStringLiteral("operator"), 1,
                                QStringLiteral("(data lama, tanpa nama operator)")),
              ReportItem::count(QStringLiteral("txtPostingOperator"), 2, transactions),
              ReportItem::sum(QStringLiteral("txtDebetOperator"), QStringLiteral("debet"), 7),
              ReportItem::sum(QStringLiteral("txtKreditOperator"), QStringLiteral("kredit"), 8)}},
            {QStringLiteral("JumlahHari"),
             QString(),
             {ReportItem::label(QStringLiteral("Label13"), QStringLiteral("Jumlah"), 0),
              ReportItem::label(QStringLiteral("Label14"), QStringLiteral("{tanggal}"), 1),
              ReportItem::count(QStringLiteral("txtPostingHari"), 2, transactions),
              ReportItem::sum(QStringLiteral("txtDebetHari"), QStringLiteral("debet"), 7),
              ReportItem::sum(QStringLiteral("txtKreditHari"), QStringLiteral("kredit"), 8)}}};
        // Room to sign above the line.
        r.sections[4].items = {
            ReportItem::label(QStringLiteral("Label15"), QStringLiteral("Kode segel: {segel}")),
            ReportItem::label(QStringLiteral("Label16"), QStringLiteral("{jejak}")),
            // The day's reprints and new books of passbooks: where a forged book hides.
            ReportItem::label(QStringLiteral("Label21"), QStringLiteral("\n{buku}")),
            ReportItem::label(QStringLiteral("Label17"), QStringLiteral("\nDiperiksa oleh:\n\n\n\n\n\n")),
            ReportItem::label(QStringLiteral("Label18"), QStringLiteral("______________________________")),
            ReportItem::label(QStringLiteral("Label19"), QStringLiteral("Tanda tangan dan nama penyelia"))};
        return r;
    }();
    return report;
}

const ReportDefinition &lapbagihasil()
{
    static const ReportDefinition report = [] {
        ReportDefinition r = tableReport(
            "LAPBAGIHASIL", "LAPORAN BAGI HASIL BULANAN", "", "",
            {Kind::ReportHeader,
             QStringLiteral("ReportHeader"),
             {ReportItem::label(QStringLiteral("Label10"), QStringLiteral("LAPORAN BAGI HASIL BULANAN PT.BPRS MERANTIKA")),
              ReportItem::label(QStringLiteral("Label11"), QStringLiteral("Bulan {bulan}")),
              ReportItem::label(QStringLiteral("Label12"), QStringLiteral("{akad}")),
              ReportItem::label(QStringLiteral("Label13"), QStringLiteral("{masukan}"))}},
            "BAGIHASIL_Detail",
            {{"Label1", "No Rekening", "txtnorekening", "norekening"},
             {"Label2", "Nama", "txtnama", "nama"},
             {"Label3", "Saldo Rata-rata", "txtrata", "rata"},
             {"Label4", "Porsi (%)", "txtporsi", "porsi"},
             {"Label5", "Bagi Hasil", "txtbagi", "bagi"},
             {"Label6", "Pajak", "txtpajak", "pajak"},
             {"Label7", "Diterima", "txtditerima", "diterima"}},
            QPageLayout::Portrait);
        r.totals = {{QStringLiteral("Jumlah"),
                     QString(),
                     {ReportItem::label(QStringLiteral("Label14"), QStringLiteral("Jumlah"), 0),
                      ReportItem::count(QStringLiteral("txtRekening"), 1, QStringLiteral("%1 rekening")),
                      ReportItem::sum(QStringLiteral("txtJumlahBagi"), QStringLiteral("bagi"), 4),
                      ReportItem::sum(QStringLiteral("txtJumlahPajak"), QStringLiteral("pajak"), 5),
                      ReportItem::sum(QStringLiteral("txtJumlahDiterima"), QStringLiteral("diterima"), 6)}}};
        r.sections[4].items = {
            ReportItem::label(QStringLiteral("Label15"), QStringLiteral("Yang dibagi: Rp {dibagi}")),
            ReportItem::label(QStringLiteral("Label16"), QStringLiteral("Sisa pembulatan (tetap pada bank): Rp {sisa}")),
            ReportItem::label(QStringLiteral("Label17"), QStringLiteral("{posting}"))};
        return r;
    }();
    return report;
}

const ReportDefinition &lapsaldo()
{
    static const ReportDefinition report = [] {
        ReportDefinition r = tableReport(
            "LAPSALDO", "DAFTAR SALDO TABUNGAN SISWA", "DMN", "SALDO",
            {Kind::ReportHeader,
             QStringLiteral("ReportHeader"),
             {ReportItem::label(QStringLiteral("Label10"), QStringLiteral("DAFTAR SALDO TABUNGAN PT.BPRS MERANTIKA")),
              ReportItem::label(QStringLiteral("Label11"), QStringLiteral("Per tanggal {tanggal}"))}},
            "SALDO_Detail",
            {{"Label1", "No Rekening", "txtnorekening", "norekening"},
             {"Label2", "Nama", "txtnama", "nama"},
             {"Label3", "Saldo", "txtsaldo", "saldo"},
             {"Label4", "Transaksi Terakhir", "txtTANGGAL", "TANGGAL"}},
            QPageLayout::Portrait);
        const QString accounts = QStringLiteral("%1 rekening");
        r.totals = {{QStringLiteral("JumlahSaldo"),
                     QString(),
                     {ReportItem::label(QStringLiteral("Label12"), QStringLiteral("Jumlah"), 0),
                      ReportItem::count(QStringLiteral("txtRekening"), 1, accounts),
                      ReportItem::sum(QStringLiteral("txtTotalSaldo"), QStringLiteral("saldo"), 2)}},
                    {QStringLiteral("SaldoNol"),
                     QString(),
                     {ReportItem::label(QStringLiteral("Label13"), QStringLiteral("Saldo nol"), 0),
                      ReportItem::countNothing(QStringLiteral("txtSaldoNol"), QStringLiteral("saldo"), 1, accounts)}}};
        return r;
    }();
    return report;
}

} // namespace reports
