<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="id_ID">
<context>
    <name>QPageSize</name>
    <message>
        <source>Envelope Monarch</source>
        <translation>Amplop Monarch</translation>
    </message>
    <message>
        <source>Envelope You 4</source>
        <translation>Amplop You 4</translation>
    </message>
    <message>
        <source>Envelope US 10</source>
        <translation>Amplop US 10</translation>
    </message>
    <message>
        <source>Envelope US 11</source>
        <translation>Amplop US 11</translation>
    </message>
    <message>
        <source>Envelope US 12</source>
        <translation>Amplop US 12</translation>
    </message>
    <message>
        <source>Envelope US 14</source>
        <translation>Amplop US 14</translation>
    </message>
    <message>
        <source>Envelope PRC 1</source>
        <translation>Amplop PRC 1</translation>
    </message>
    <message>
        <source>Envelope PRC 2</source>
        <translation>Amplop PRC 2</translation>
    </message>
    <message>
        <source>Envelope PRC 3</source>
        <translation>Amplop PRC 3</translation>
    </message>
    <message>
        <source>Envelope PRC 4</source>
        <translation>Amplop PRC 4</translation>
    </message>
    <message>
        <source>Envelope PRC 5</source>
        <translation>Amplop PRC 5</translation>
    </message>
    <message>
        <source>Envelope PRC 6</source>
        <translation>Amplop PRC 6</translation>
    </message>
    <message>
        <source>Envelope PRC 7</source>
        <translation>Amplop PRC 7</translation>
    </message>
    <message>
        <source>Envelope PRC 8</source>
        <translation>Amplop PRC 8</translation>
    </message>
    <message>
        <source>Envelope PRC 9</source>
        <translation>Amplop PRC 9</translation>
    </message>
    <message>
        <source>Envelope C65</source>
        <translation>Amplop C65</translation>
    </message>
    <message>
        <source>Envelope DL</source>
        <translation>Amplop DL</translation>
    </message>
    <message>
        <source>Envelope B4</source>
        <translation>Amplop B4</translation>
    </message>
    <message>
        <source>Envelope B5</source>
        <translation>Amplop B5</translation>
    </message>
    <message>
        <source>Envelope B6</source>
        <translation>Amplop B6</translation>
    </message>
    <message>
        <source>Envelope C0</source>
        <translation>Amplop C0</translation>
    </message>
    <message>
        <source>Envelope C1</source>
        <translation>Amplop C1</translation>
    </message>
    <message>
        <source>Envelope C2</source>
        <translation>Amplop C2</translation>
    </message>
    <message>
        <source>Envelope C3</source>
        <translation>Amplop C3</translation>
    </message>
    <message>
        <source>Envelope C4</source>
        <translation>Amplop C4</translation>
    </message>
    <message>
        <source>Envelope C5</source>
        <translation>Amplop C5</translation>
    </message>
    <message>
        <source>Envelope C6</source>
        <translation>Amplop C6</translation>
    </message>
    <message>
        <source>Envelope C7</source>
        <translation>Amplop C7</translation>
    </message>
    <message>
        <source>Custom</source>
        <translation>Ukuran sendiri</translation>
    </message>
    <message>
        <source>Postcard</source>
        <translation>Kartu pos</translation>
    </message>
    <message>
        <source>Envelope Invite</source>
        <translation>Amplop Invite</translation>
    </message>
    <message>
        <source>Envelope Chou 3</source>
        <translation>Amplop Chou 3</translation>
    </message>
    <message>
        <source>Envelope Chou 4</source>
        <translation>Amplop Chou 4</translation>
    </message>
    <message>
        <source>Envelope PRC 10</source>
        <translation>Amplop PRC 10</translation>
    </message>
    <message>
        <source>Envelope Kaku 2</source>
        <translation>Amplop Kaku 2</translation>
    </message>
    <message>
        <source>Envelope Kaku 3</source>
        <translation>Amplop Kaku 3</translation>
    </message>
    <message>
        <source>Envelope US 9</source>
        <translation>Amplop US 9</translation>
    </message>
    <message>
        <source>Custom (%1in x %2in)</source>
        <translation>Ukuran sendiri (%1in x %2in)</translation>
    </message>
    <message>
        <source>Custom (%1mm x %2mm)</source>
        <translation>Ukuran sendiri (%1mm x %2mm)</translation>
    </message>
    <message>
        <source>Custom (%1CC x %2CC)</source>
        <translation>Ukuran sendiri (%1CC x %2CC)</translation>
    </message>
    <message>
        <source>Custom (%1DD x %2DD)</source>
        <translation>Ukuran sendiri (%1DD x %2DD)</translation>
    </message>
    <message>
        <source>Custom (%1pc x %2pc)</source>
        <translation>Ukuran sendiri (%1pc x %2pc)</translation>
    </message>
    <message>
        <source>Custom (%1pt x %2pt)</source>
        <translation>Ukuran sendiri (%1pt x %2pt)</translation>
    </message>
    <message>
        <source>Envelope Italian</source>
        <translation>Amplop Italian</translation>
    </message>
    <message>
        <source>Double Postcard</source>
        <translation>Kartu pos ganda</translation>
    </message>
    <message>
        <source>Envelope Personal</source>
        <translation>Amplop Personal</translation>
    </message>
</context>
<context>
    <name>QPageSetupWidget</name>
    <message>
        <source>CC</source>
        <translation>CC</translation>
    </message>
    <message>
        <source>DD</source>
        <translation>DD</translation>
    </message>
    <message>
        <source>in</source>
        <translation>in</translation>
    </message>
    <message>
        <source>mm</source>
        <translation>mm</translation>
    </message>
    <message>
        <source>pt</source>
        <translation>pt</translation>
    </message>
    <message>
        <source>P̸</source>
        <translation>P̸</translation>
    </message>
    <message>
        <source>Form</source>
        <translation>Formulir</translation>
    </message>
    <message>
        <source>bottom margin</source>
        <translation>batas bawah</translation>
    </message>
    <message>
        <source>Paper</source>
        <translation>Kertas</translation>
    </message>
    <message>
        <source>Paper source:</source>
        <translation>Sumber kertas:</translation>
    </message>
    <message>
        <source>right margin</source>
        <translation>batas kanan</translation>
    </message>
    <message>
        <source>Pica (P̸)</source>
        <translation>Pica (P̸)</translation>
    </message>
    <message>
        <source>Margins</source>
        <translation>Batas tepi</translation>
    </message>
    <message>
        <source>Custom</source>
        <translation>Ukuran sendiri</translation>
    </message>
    <message>
        <source>Landscape</source>
        <translation>Mendatar</translation>
    </message>
    <message>
        <source>Page Layout</source>
        <translation>Tata letak halaman</translation>
    </message>
    <message>
        <source>Width:</source>
        <translation>Lebar:</translation>
    </message>
    <message>
        <source>Orientation</source>
        <translation>Arah kertas</translation>
    </message>
    <message>
        <source>Didot (DD)</source>
        <translation>Didot (DD)</translation>
    </message>
    <message>
        <source>Portrait</source>
        <translation>Tegak</translation>
    </message>
    <message>
        <source>Page order:</source>
        <translation>Urutan halaman:</translation>
    </message>
    <message>
        <source>top margin</source>
        <translation>batas atas</translation>
    </message>
    <message>
        <source>left margin</source>
        <translation>batas kiri</translation>
    </message>
    <message>
        <source>Page size:</source>
        <translation>Ukuran kertas:</translation>
    </message>
    <message>
        <source>Cicero (CC)</source>
        <translation>Cicero (CC)</translation>
    </message>
    <message>
        <source>Reverse portrait</source>
        <translation>Tegak terbalik</translation>
    </message>
    <message>
        <source>Millimeters (mm)</source>
        <translation>Milimeter (mm)</translation>
    </message>
    <message>
        <source>Points (pt)</source>
        <translation>Poin (pt)</translation>
    </message>
    <message>
        <source>Pages per sheet:</source>
        <translation>Halaman per lembar:</translation>
    </message>
    <message>
        <source>Inches (in)</source>
        <translation>Inci (in)</translation>
    </message>
    <message>
        <source>Reverse landscape</source>
        <translation>Mendatar terbalik</translation>
    </message>
    <message>
        <source>Height:</source>
        <translation>Tinggi:</translation>
    </message>
</context>
<context>
    <name>QDialogButtonBox</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>QPlatformTheme</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation>&amp;Tidak</translation>
    </message>
    <message>
        <source>&amp;Yes</source>
        <translation>&amp;Ya</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Bantuan</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Buka</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Simpan</translation>
    </message>
    <message>
        <source>Abort</source>
        <translation>Hentikan</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Terapkan</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Tutup</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Atur ulang</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>Coba lagi</translation>
    </message>
    <message>
        <source>Restore Defaults</source>
        <translation>Kembalikan bawaan</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Batal</translation>
    </message>
    <message>
        <source>Ignore</source>
        <translation>Abaikan</translation>
    </message>
    <message>
        <source>N&amp;o to All</source>
        <translation>T&amp;idak untuk semua</translation>
    </message>
    <message>
        <source>Save All</source>
        <translation>Simpan semua</translation>
    </message>
    <message>
        <source>Discard</source>
        <translation>Buang</translation>
    </message>
    <message>
        <source>Yes to &amp;All</source>
        <translation>Ya untuk &amp;semua</translation>
    </message>
</context>
<context>
    <name>QPrintSettingsOutput</name>
    <message>
        <source>to</source>
        <translation>sampai</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Mati</translation>
    </message>
    <message>
        <source>Form</source>
        <translation>Formulir</translation>
    </message>
    <message>
        <source>Color</source>
        <translation>Berwarna</translation>
    </message>
    <message>
        <source>Print all</source>
        <translation>Cetak semua</translation>
    </message>
    <message>
        <source>Pages</source>
        <translation>Halaman</translation>
    </message>
    <message>
        <source>Current Page</source>
        <translation>Halaman ini</translation>
    </message>
    <message>
        <source>Selection</source>
        <translation>Pilihan</translation>
    </message>
    <message>
        <source>Copies</source>
        <translation>Salinan</translation>
    </message>
    <message>
        <source>Print range</source>
        <translation>Halaman yang dicetak</translation>
    </message>
    <message>
        <source>Color Mode</source>
        <translation>Warna</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Pilihan</translation>
    </message>
    <message>
        <source>Output Settings</source>
        <translation>Pengaturan hasil cetak</translation>
    </message>
    <message>
        <source>Reverse</source>
        <translation>Urutan terbalik</translation>
    </message>
    <message>
        <source>Grayscale</source>
        <translation>Hitam putih</translation>
    </message>
    <message>
        <source>Collate</source>
        <translation>Susun per salinan</translation>
    </message>
    <message>
        <source>Copies:</source>
        <translation>Jumlah salinan:</translation>
    </message>
    <message>
        <source>Short side binding</source>
        <translation>Jilid sisi pendek</translation>
    </message>
    <message>
        <source>Specify pages or ranges separated by commas. Ranges are specified by two numbers separated by a hyphen. E.g: 3,5-7,9 prints pages 3, 5, 6, 7 and 9.</source>
        <translation>Tulis halaman atau rentang halaman dipisah koma. Rentang ditulis dua angka dengan tanda hubung. Misalnya 3,5-7,9 mencetak halaman 3, 5, 6, 7 dan 9.</translation>
    </message>
    <message>
        <source>Pages from</source>
        <translation>Halaman dari</translation>
    </message>
    <message>
        <source>Double Sided Printing</source>
        <translation>Cetak bolak-balik</translation>
    </message>
    <message>
        <source>Page Set:</source>
        <translation>Kumpulan halaman:</translation>
    </message>
    <message>
        <source>Long side binding</source>
        <translation>Jilid sisi panjang</translation>
    </message>
</context>
<context>
    <name>QPrintPreviewDialog</name>
    <message>
        <source>%1%</source>
        <translation>%1%</translation>
    </message>
    <message>
        <source>Print Preview</source>
        <translation>Pratinjau cetak</translation>
    </message>
    <message>
        <source>Print</source>
        <translation>Cetak</translation>
    </message>
    <message>
        <source>Fit page</source>
        <translation>Satu halaman penuh</translation>
    </message>
    <message>
        <source>Zoom in</source>
        <translation>Perbesar</translation>
    </message>
    <message>
        <source>Landscape</source>
        <translation>Mendatar</translation>
    </message>
    <message>
        <source>Zoom out</source>
        <translation>Perkecil</translation>
    </message>
    <message>
        <source>Fit width</source>
        <translation>Selebar halaman</translation>
    </message>
    <message>
        <source>Portrait</source>
        <translation>Tegak</translation>
    </message>
    <message>
        <source>Page Setup</source>
        <translation>Atur halaman</translation>
    </message>
    <message>
        <source>Page setup</source>
        <translation>Atur halaman</translation>
    </message>
    <message>
        <source>Show overview of all pages</source>
        <translation>Tampilkan semua halaman</translation>
    </message>
    <message>
        <source>First page</source>
        <translation>Halaman pertama</translation>
    </message>
    <message>
        <source>Last page</source>
        <translation>Halaman terakhir</translation>
    </message>
    <message>
        <source>Show single page</source>
        <translation>Tampilkan satu halaman</translation>
    </message>
    <message>
        <source>Export to PDF</source>
        <translation>Simpan sebagai PDF</translation>
    </message>
    <message>
        <source>Previous page</source>
        <translation>Halaman sebelumnya</translation>
    </message>
    <message>
        <source>Next page</source>
        <translation>Halaman berikutnya</translation>
    </message>
    <message>
        <source>Show facing pages</source>
        <translation>Tampilkan dua halaman berhadapan</translation>
    </message>
</context>
<context>
    <name>QGnomeTheme</name>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>&amp;Simpan</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Tutup</translation>
    </message>
    <message>
        <source>Close without Saving</source>
        <translation>Tutup tanpa menyimpan</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Batal</translation>
    </message>
</context>
<context>
    <name>QPrintWidget</name>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>Form</source>
        <translation>Formulir</translation>
    </message>
    <message>
        <source>Type:</source>
        <translation>Jenis:</translation>
    </message>
    <message>
        <source>&amp;Name:</source>
        <translation>&amp;Nama:</translation>
    </message>
    <message>
        <source>Output &amp;file:</source>
        <translation>&amp;File hasil:</translation>
    </message>
    <message>
        <source>P&amp;roperties</source>
        <translation>&amp;Properti</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Pratinjau</translation>
    </message>
    <message>
        <source>Printer</source>
        <translation>Printer</translation>
    </message>
    <message>
        <source>Location:</source>
        <translation>Lokasi:</translation>
    </message>
</context>
<context>
    <name>QCupsJobWidget</name>
    <message>
        <source>Job</source>
        <translation>Pekerjaan cetak</translation>
    </message>
    <message>
        <source>End:</source>
        <translation>Akhir:</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Tidak ada</translation>
    </message>
    <message>
        <source>Banner Pages</source>
        <translation>Halaman sampul</translation>
    </message>
    <message>
        <source>Night (18:00 to 05:59)</source>
        <translation>Malam (18:00 sampai 05:59)</translation>
    </message>
    <message>
        <source>Specific Time</source>
        <translation>Pada jam tertentu</translation>
    </message>
    <message>
        <source>Billing information:</source>
        <translation>Keterangan tagihan:</translation>
    </message>
    <message>
        <source>Scheduled printing:</source>
        <translation>Jadwal cetak:</translation>
    </message>
    <message>
        <source>Secret</source>
        <translation>Rahasia</translation>
    </message>
    <message>
        <source>Top Secret</source>
        <translation>Sangat rahasia</translation>
    </message>
    <message>
        <source>Start:</source>
        <translation>Awal:</translation>
    </message>
    <message>
        <source>Day (06:00 to 17:59)</source>
        <translation>Siang (06:00 sampai 17:59)</translation>
    </message>
    <message>
        <source>Second Shift (16:00 to 23:59)</source>
        <translation>Giliran kedua (16:00 sampai 23:59)</translation>
    </message>
    <message>
        <source>Job Control</source>
        <translation>Pengaturan pekerjaan cetak</translation>
    </message>
    <message>
        <source>Weekend (Saturday to Sunday)</source>
        <translation>Akhir pekan (Sabtu sampai Minggu)</translation>
    </message>
    <message>
        <source>Standard</source>
        <translation>Standar</translation>
    </message>
    <message>
        <source>Classified</source>
        <translation>Terbatas</translation>
    </message>
    <message>
        <source>Third Shift (00:00 to 07:59)</source>
        <translation>Giliran ketiga (00:00 sampai 07:59)</translation>
    </message>
    <message>
        <source>Hold Indefinitely</source>
        <translation>Tahan sampai dilepas</translation>
    </message>
    <message>
        <source>Print Immediately</source>
        <translation>Cetak sekarang</translation>
    </message>
    <message>
        <source>Confidential</source>
        <translation>Konfidensial</translation>
    </message>
    <message>
        <source>Job priority:</source>
        <translation>Prioritas pekerjaan cetak:</translation>
    </message>
    <message>
        <source>Unclassified</source>
        <translation>Terbuka</translation>
    </message>
</context>
<context>
    <name>QScrollBar</name>
    <message>
        <source>Top</source>
        <translation>Paling atas</translation>
    </message>
    <message>
        <source>Scroll down</source>
        <translation>Gulir ke bawah</translation>
    </message>
    <message>
        <source>Scroll here</source>
        <translation>Gulir ke sini</translation>
    </message>
    <message>
        <source>Scroll left</source>
        <translation>Gulir ke kiri</translation>
    </message>
    <message>
        <source>Bottom</source>
        <translation>Paling bawah</translation>
    </message>
    <message>
        <source>Page up</source>
        <translation>Satu halaman ke atas</translation>
    </message>
    <message>
        <source>Page right</source>
        <translation>Satu halaman ke kanan</translation>
    </message>
    <message>
        <source>Scroll up</source>
        <translation>Gulir ke atas</translation>
    </message>
    <message>
        <source>Scroll right</source>
        <translation>Gulir ke kanan</translation>
    </message>
    <message>
        <source>Left edge</source>
        <translation>Tepi kiri</translation>
    </message>
    <message>
        <source>Page down</source>
        <translation>Satu halaman ke bawah</translation>
    </message>
    <message>
        <source>Page left</source>
        <translation>Satu halaman ke kiri</translation>
    </message>
    <message>
        <source>Right edge</source>
        <translation>Tepi kanan</translation>
    </message>
</context>
<context>
    <name>QFileDialog</name>
    <message>
        <source>Back</source>
        <translation>Kembali</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Buka</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>&amp;Buka</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>&amp;Simpan</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Show </source>
        <translation>Tampilkan </translation>
    </message>
    <message>
        <source>'%1' is write protected.
Do you want to delete it anyway?</source>
        <translation>'%1' dilindungi dari penulisan.
Tetap hapus?</translation>
    </message>
    <message>
        <source>Are you sure you want to delete '%1'?</source>
        <translation>Yakin menghapus '%1'?</translation>
    </message>
    <message>
        <source>List of places and bookmarks</source>
        <translation>Daftar tempat dan penanda</translation>
    </message>
    <message>
        <source>File &amp;name:</source>
        <translation>&amp;Nama file:</translation>
    </message>
    <message>
        <source>Alt+Left</source>
        <translation>Alt+Left</translation>
    </message>
    <message>
        <source>Alt+Up</source>
        <translation>Alt+Up</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Hapus</translation>
    </message>
    <message>
        <source>New Folder</source>
        <translation>Folder baru</translation>
    </message>
    <message>
        <source>Parent Directory</source>
        <translation>Folder induk</translation>
    </message>
    <message>
        <source>&amp;New Folder</source>
        <translation>Folder &amp;baru</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Hapus</translation>
    </message>
    <message>
        <source>Look in:</source>
        <translation>Cari di:</translation>
    </message>
    <message>
        <source>Alt+Right</source>
        <translation>Alt+Right</translation>
    </message>
    <message>
        <source>Create a New Folder</source>
        <translation>Buat folder baru</translation>
    </message>
    <message>
        <source>Files of type:</source>
        <translation>Jenis file:</translation>
    </message>
    <message>
        <source>Find Directory</source>
        <translation>Cari folder</translation>
    </message>
    <message>
        <source>Show &amp;hidden files</source>
        <translation>Tampilkan file &amp;tersembunyi</translation>
    </message>
    <message>
        <source>Save As</source>
        <translation>Simpan sebagai</translation>
    </message>
    <message>
        <source>%1
Directory not found.
Please verify the correct directory name was given.</source>
        <translation>%1
Folder tidak ditemukan.
Periksa nama foldernya.</translation>
    </message>
    <message>
        <source>Sidebar</source>
        <translation>Panel samping</translation>
    </message>
    <message>
        <source>List View</source>
        <translation>Tampilan daftar</translation>
    </message>
    <message>
        <source>&amp;Choose</source>
        <translation>&amp;Pilih</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Hapus</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Semua file (*)</translation>
    </message>
    <message>
        <source>All Files (*)</source>
        <translation>Semua file (*)</translation>
    </message>
    <message>
        <source>Directories</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>&amp;Rename</source>
        <translation>&amp;Ganti nama</translation>
    </message>
    <message>
        <source>Could not delete directory.</source>
        <translation>Folder tidak bisa dihapus.</translation>
    </message>
    <message>
        <source>Directory:</source>
        <translation>Folder:</translation>
    </message>
    <message>
        <source>%1 already exists.
Do you want to replace it?</source>
        <translation>%1 sudah ada.
Ganti dengan yang baru?</translation>
    </message>
    <message>
        <source>Forward</source>
        <translation>Maju</translation>
    </message>
    <message>
        <source>Go forward</source>
        <translation>Maju</translation>
    </message>
    <message>
        <source>Go to the parent directory</source>
        <translation>Ke folder induk</translation>
    </message>
    <message>
        <source>Recent Places</source>
        <translation>Tempat terakhir</translation>
    </message>
    <message>
        <source>Go back</source>
        <translation>Kembali</translation>
    </message>
    <message>
        <source>Change to detail view mode</source>
        <translation>Tampilkan rincian</translation>
    </message>
    <message>
        <source>Create New Folder</source>
        <translation>Buat folder baru</translation>
    </message>
    <message>
        <source>Detail View</source>
        <translation>Tampilan rincian</translation>
    </message>
    <message>
        <source>%1
File not found.
Please verify the correct file name was given.</source>
        <translation>%1
File tidak ditemukan.
Periksa nama filenya.</translation>
    </message>
    <message>
        <source>Change to list view mode</source>
        <translation>Tampilkan daftar</translation>
    </message>
</context>
<context>
    <name>QLineEdit</name>
    <message>
        <source>Cu&amp;t</source>
        <translation>Po&amp;tong</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Salin</translation>
    </message>
    <message>
        <source>&amp;Redo</source>
        <translation>&amp;Ulangi</translation>
    </message>
    <message>
        <source>&amp;Undo</source>
        <translation>&amp;Batalkan</translation>
    </message>
    <message>
        <source>&amp;Paste</source>
        <translation>&amp;Tempel</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Hapus</translation>
    </message>
    <message>
        <source>Select All</source>
        <translation>Pilih semua</translation>
    </message>
</context>
<context>
    <name>QWidgetTextControl</name>
    <message>
        <source>Cu&amp;t</source>
        <translation>Po&amp;tong</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Salin</translation>
    </message>
    <message>
        <source>&amp;Redo</source>
        <translation>&amp;Ulangi</translation>
    </message>
    <message>
        <source>&amp;Undo</source>
        <translation>&amp;Batalkan</translation>
    </message>
    <message>
        <source>&amp;Paste</source>
        <translation>&amp;Tempel</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Hapus</translation>
    </message>
    <message>
        <source>Select All</source>
        <translation>Pilih semua</translation>
    </message>
    <message>
        <source>Copy &amp;Link Location</source>
        <translation>Salin alamat &amp;tautan</translation>
    </message>
</context>
<context>
    <name>QAbstractFileIconProvider</name>
    <message>
        <source>File</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Alias</source>
        <translation>Alias</translation>
    </message>
    <message>
        <source>Drive</source>
        <translation>Drive</translation>
    </message>
    <message>
        <source>File Folder</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Tidak dikenal</translation>
    </message>
    <message>
        <source>Shortcut</source>
        <translation>Pintasan</translation>
    </message>
</context>
<context>
    <name>QPrintPropertiesWidget</name>
    <message>
        <source>Form</source>
        <translation>Formulir</translation>
    </message>
    <message>
        <source>Page</source>
        <translation>Halaman</translation>
    </message>
    <message>
        <source>There are conflicts in some options. Please fix them.</source>
        <translation>Beberapa pilihan saling bertentangan. Perbaiki dulu.</translation>
    </message>
    <message>
        <source>Advanced</source>
        <translation>Lanjutan</translation>
    </message>
</context>
<context>
    <name>QFileSystemModel</name>
    <message>
        <source>Kind</source>
        <translation>Jenis</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Nama</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Ukuran</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Jenis</translation>
    </message>
    <message>
        <source>My Computer</source>
        <translation>Komputer saya</translation>
    </message>
    <message>
        <source>Computer</source>
        <translation>Komputer</translation>
    </message>
    <message>
        <source>Date Modified</source>
        <translation>Tanggal diubah</translation>
    </message>
</context>
<context>
    <name>QComboBox</name>
    <message>
        <source>True</source>
        <translation>Ya</translation>
    </message>
    <message>
        <source>False</source>
        <translation>Tidak</translation>
    </message>
    <message>
        <source>Open the combo box selection popup</source>
        <translation>Buka daftar pilihan</translation>
    </message>
</context>
<context>
    <name>QPrintDialog</name>
    <message>
        <source>Even Pages</source>
        <translation>Halaman genap</translation>
    </message>
    <message>
        <source>Print</source>
        <translation>Cetak</translation>
    </message>
    <message>
        <source>&amp;Options &lt;&lt;</source>
        <translation>&amp;Pilihan &lt;&lt;</translation>
    </message>
    <message>
        <source>&amp;Options &gt;&gt;</source>
        <translation>&amp;Pilihan &gt;&gt;</translation>
    </message>
    <message>
        <source>Left to Right, Top to Bottom</source>
        <translation>Kiri ke kanan, atas ke bawah</translation>
    </message>
    <message>
        <source>Right to Left, Bottom to Top</source>
        <translation>Kanan ke kiri, bawah ke atas</translation>
    </message>
    <message>
        <source>Write PDF file</source>
        <translation>Tulis file PDF</translation>
    </message>
    <message>
        <source>&amp;Print</source>
        <translation>&amp;Cetak</translation>
    </message>
    <message>
        <source>1 (1x1)</source>
        <translation>1 (1x1)</translation>
    </message>
    <message>
        <source>Options 'Pages Per Sheet' and 'Page Set' cannot be used together.
Please turn one of those options off.</source>
        <translation>Pilihan 'Halaman per lembar' dan 'Kumpulan halaman' tidak bisa dipakai bersama.
Matikan salah satunya.</translation>
    </message>
    <message>
        <source>%1 already exists.
Do you want to overwrite it?</source>
        <translation>%1 sudah ada.
Timpa file itu?</translation>
    </message>
    <message>
        <source>2 (2x1)</source>
        <translation>2 (2x1)</translation>
    </message>
    <message>
        <source>Left to Right, Bottom to Top</source>
        <translation>Kiri ke kanan, bawah ke atas</translation>
    </message>
    <message>
        <source>4 (2x2)</source>
        <translation>4 (2x2)</translation>
    </message>
    <message>
        <source>Odd Pages</source>
        <translation>Halaman ganjil</translation>
    </message>
    <message>
        <source>Local file</source>
        <translation>File di komputer ini</translation>
    </message>
    <message>
        <source>6 (2x3)</source>
        <translation>6 (2x3)</translation>
    </message>
    <message>
        <source>16 (4x4)</source>
        <translation>16 (4x4)</translation>
    </message>
    <message>
        <source>There are conflicts in duplex settings. Do you want to fix them?</source>
        <translation>Pengaturan cetak bolak-balik saling bertentangan. Perbaiki?</translation>
    </message>
    <message>
        <source>Print to File (PDF)</source>
        <translation>Cetak ke file (PDF)</translation>
    </message>
    <message>
        <source>Print To File ...</source>
        <translation>Cetak ke file ...</translation>
    </message>
    <message>
        <source>Invalid Pages Definition</source>
        <translation>Halaman yang ditulis salah</translation>
    </message>
    <message>
        <source>%1 does not follow the correct syntax. Please use ',' to separate ranges and pages, '-' to define ranges and make sure ranges do not intersect with each other.</source>
        <translation>%1 tidak ditulis dengan benar. Pisahkan halaman dan rentang dengan ',', tulis rentang dengan '-', dan pastikan rentang tidak saling tumpang tindih.</translation>
    </message>
    <message>
        <source>9 (3x3)</source>
        <translation>9 (3x3)</translation>
    </message>
    <message>
        <source>Right to Left, Top to Bottom</source>
        <translation>Kanan ke kiri, atas ke bawah</translation>
    </message>
    <message>
        <source>Bottom to Top, Left to Right</source>
        <translation>Bawah ke atas, kiri ke kanan</translation>
    </message>
    <message>
        <source>The 'From' value cannot be greater than the 'To' value.</source>
        <translation>Halaman 'dari' tidak boleh lebih besar dari halaman 'sampai'.</translation>
    </message>
    <message>
        <source>All Pages</source>
        <translation>Semua halaman</translation>
    </message>
    <message>
        <source>Duplex Settings Conflicts</source>
        <translation>Pengaturan bolak-balik bertentangan</translation>
    </message>
    <message>
        <source>%1 is a directory.
Please choose a different file name.</source>
        <translation>%1 adalah folder.
Pilih nama file lain.</translation>
    </message>
    <message>
        <source>File %1 is not writable.
Please choose a different file name.</source>
        <translation>File %1 tidak bisa ditulis.
Pilih nama file lain.</translation>
    </message>
    <message>
        <source>Bottom to Top, Right to Left</source>
        <translation>Bawah ke atas, kanan ke kiri</translation>
    </message>
    <message>
        <source>Top to Bottom, Left to Right</source>
        <translation>Atas ke bawah, kiri ke kanan</translation>
    </message>
    <message>
        <source>Top to Bottom, Right to Left</source>
        <translation>Atas ke bawah, kanan ke kiri</translation>
    </message>
</context>
<context>
    <name>QPrintPropertiesDialog</name>
    <message>
        <source>Advanced Option Conflicts</source>
        <translation>Pilihan lanjutan bertentangan</translation>
    </message>
    <message>
        <source>Job Options</source>
        <translation>Pilihan pekerjaan cetak</translation>
    </message>
    <message>
        <source>Page Setup Conflicts</source>
        <translation>Pengaturan halaman bertentangan</translation>
    </message>
    <message>
        <source>There are conflicts in some advanced options. Do you want to fix them?</source>
        <translation>Beberapa pilihan lanjutan saling bertentangan. Perbaiki?</translation>
    </message>
    <message>
        <source>There are conflicts in page setup options. Do you want to fix them?</source>
        <translation>Pengaturan halaman saling bertentangan. Perbaiki?</translation>
    </message>
    <message>
        <source>Printer Properties</source>
        <translation>Properti printer</translation>
    </message>
</context>
<context>
    <name>QMessageBox</name>
    <message>
        <source>Show Details...</source>
        <translation>Tampilkan rincian...</translation>
    </message>
    <message>
        <source>About Qt</source>
        <translation>Tentang Qt</translation>
    </message>
    <message>
        <source>Hide Details...</source>
        <translation>Sembunyikan rincian...</translation>
    </message>
    <message>
        <source>&lt;h3&gt;About Qt&lt;/h3&gt;&lt;p&gt;This program uses Qt version %1.&lt;/p&gt;</source>
        <translation>&lt;h3&gt;Tentang Qt&lt;/h3&gt;&lt;p&gt;Program ini memakai Qt versi %1.&lt;/p&gt;</translation>
    </message>
</context>
<context>
    <name>QUnicodeControlCharacterMenu</name>
    <message>
        <source>Insert Unicode control character</source>
        <translation>Sisipkan karakter kendali Unicode</translation>
    </message>
</context>
<context>
    <name>QAbstractSpinBox</name>
    <message>
        <source>Step &amp;down</source>
        <translation>&amp;Turun</translation>
    </message>
    <message>
        <source>&amp;Step up</source>
        <translation>&amp;Naik</translation>
    </message>
    <message>
        <source>&amp;Select All</source>
        <translation>&amp;Pilih semua</translation>
    </message>
</context>
<context>
    <name>QInputDialog</name>
    <message>
        <source>Enter a value:</source>
        <translation>Isi nilainya:</translation>
    </message>
</context>
<context>
    <name>QCupsPrinterSupport</name>
    <message>
        <source>Authentication needed to use %1 on %2.</source>
        <translation>Perlu masuk untuk memakai %1 di %2.</translation>
    </message>
    <message>
        <source>Authentication needed to use %1.</source>
        <translation>Perlu masuk untuk memakai %1.</translation>
    </message>
    <message>
        <source>Authentication Needed</source>
        <translation>Perlu masuk</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>Username:</source>
        <translation>Nama pengguna:</translation>
    </message>
</context>
<context>
    <name>QProgressDialog</name>
    <message>
        <source>Cancel</source>
        <translation>Batal</translation>
    </message>
</context>
</TS>
