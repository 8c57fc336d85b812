#pragma once

// The names the audit trail writes and the engines' rules know: the actions of
// its rows (tindakan), and the database's refusal of a change to a row that may
// only be added to. The engines' triggers and the trail itself use these texts.
namespace audit {

// The actions (tindakan).
namespace action {
inline constexpr char kDeposit[] = "setoran";
inline constexpr char kWithdrawal[] = "penarikan";
inline constexpr char kCorrection[] = "koreksi";
inline constexpr char kNewCustomer[] = "nasabah baru";
inline constexpr char kCustomerChange[] = "nasabah ubah";
inline constexpr char kCustomerDeletion[] = "nasabah hapus";
inline constexpr char kPasswordChange[] = "ganti password";
inline constexpr char kLogin[] = "masuk";
inline constexpr char kFailedLogin[] = "masuk gagal";
inline constexpr char kImport[] = "impor";
inline constexpr char kMove[] = "pindah";
inline constexpr char kOperatorAdded[] = "operator tambah";
inline constexpr char kOperatorRemoved[] = "operator hapus";
inline constexpr char kOperatorReset[] = "operator reset";
inline constexpr char kOperatorKind[] = "operator peran";
inline constexpr char kApproval[] = "persetujuan";
inline constexpr char kSettingChange[] = "pengaturan ubah";
inline constexpr char kBlock[] = "blokir";
inline constexpr char kUnblock[] = "buka blokir";
inline constexpr char kMonthEnd[] = "bagi hasil";
inline constexpr char kMonthEndTakeBack[] = "batal bagi hasil";
inline constexpr char kTrailInstalled[] = "pasang jejak";
inline constexpr char kBreakAccepted[] = "putus diterima";
// The passbook: a print, a reprint, a new book, a position set by hand.
inline constexpr char kPassbookPrint[] = "cetak buku";
inline constexpr char kPassbookReprint[] = "cetak ulang";
inline constexpr char kNewPassbook[] = "buku baru";
inline constexpr char kPassbookPosition[] = "atur buku";
} // namespace action

// The database's refusal of a change or deletion of a row of nabubg or jejak.
inline constexpr char kLedgerAppendOnly[] = "nabubg hanya boleh ditambah: baris buku tabungan tidak boleh diubah "
                                            "atau dihapus (koreksi dengan posting baru)";
inline constexpr char kTrailAppendOnly[] = "jejak hanya boleh ditambah: jejak audit tidak boleh diubah atau dihapus";

} // namespace audit
