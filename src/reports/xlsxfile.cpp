#include "xlsxfile.h"

#include <QDate>
#include <QDir>
#include <QFile>

#include <xlsxwriter.h>

namespace reports::xlsx {

struct Writer::State {
    lxw_workbook *workbook = nullptr;
    lxw_worksheet *sheet = nullptr;
    lxw_format *title = nullptr, *heading = nullptr, *text = nullptr, *amount = nullptr, *date = nullptr;
    lxw_format *boldText = nullptr, *boldAmount = nullptr;
};

namespace {
QByteArray utf8(const QString &text)
{
    return text.toUtf8();
}

// A sheet's name may not hold []:*?/\ and has at most 31 characters.
QByteArray sheetName(const QString &name)
{
    QString clean = name;
    for (const QChar c : QStringLiteral("[]:*?/\\"))
        clean.replace(c, u' ');
    clean = clean.trimmed().left(31);
    return utf8(clean.isEmpty() ? QStringLiteral("Laporan") : clean);
}

QString writeError(lxw_error error)
{
    switch (error) {
    case LXW_ERROR_CREATING_XLSX_FILE:
        return QStringLiteral("foldernya tidak ada, atau tidak boleh ditulis.");
    case LXW_ERROR_CREATING_TMPFILE:
    case LXW_ERROR_READING_TMPFILE:
        return QStringLiteral("file sementara tidak bisa dibuat (disk penuh?).");
    default:
        return QString::fromUtf8(lxw_strerror(error));
    }
}
} // namespace

Writer::Writer(const QString &path, const Table &table) : state_(new State), path_(path)
{
    // Rows go to disk as they are written (constant memory): rows in order only.
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = nullptr;
    QFile::remove(path);
    state_->workbook = workbook_new_opt(QFile::encodeName(path).constData(), &options);
    if (!state_->workbook) {
        error_ = QStringLiteral("File Excel %1 tidak bisa dibuat.").arg(QDir::toNativeSeparators(path));
        return;
    }
    state_->sheet = workbook_add_worksheet(state_->workbook, sheetName(table.sheet).constData());
    const auto format = [this](bool bold, const char *number) {
        lxw_format *made = workbook_add_format(state_->workbook);
        if (bold)
            format_set_bold(made);
        if (number)
            format_set_num_format(made, number);
        return made;
    };
    state_->title = format(true, nullptr);
    state_->heading = format(true, nullptr);
    format_set_bottom(state_->heading, LXW_BORDER_THIN);
    state_->text = format(false, "@");
    state_->amount = format(false, "#,##0.##");
    state_->date = format(false, "dd/mm/yyyy");
    state_->boldText = format(true, "@");
    state_->boldAmount = format(true, "#,##0.##");
    columns_ = int(table.columns.size());
    for (int c = 0; c < columns_; ++c)
        worksheet_set_column(state_->sheet, lxw_col_t(c), lxw_col_t(c), table.widths.value(c, 14), nullptr);
    for (const QString &line : table.heading)
        worksheet_write_string(state_->sheet, lxw_row_t(row_++), 0, utf8(line).constData(), state_->title);
    if (!table.heading.isEmpty())
        ++row_;
    for (int c = 0; c < columns_; ++c)
        worksheet_write_string(state_->sheet, lxw_row_t(row_), lxw_col_t(c), utf8(table.columns.at(c)).constData(),
                               state_->heading);
    ++row_;
}

Writer::~Writer()
{
    if (state_ && state_->workbook) {
        // Given up before finish(): no half-written workbook stays.
        workbook_close(state_->workbook);
        QFile::remove(path_);
    }
    delete state_;
}

void Writer::addRow(const QVariantList &values, bool bold)
{
    if (!ok())
        return;
    for (int c = 0; c < values.size(); ++c) {
        const QVariant &value = values.at(c);
        const lxw_row_t row = lxw_row_t(row_);
        const lxw_col_t column = lxw_col_t(c);
        if (!value.isValid() || value.isNull())
            continue;
        switch (value.typeId()) {
        case QMetaType::QDate: {
            const QDate date = value.toDate();
            lxw_datetime when = {date.year(), date.month(), date.day(), 0, 0, 0};
            worksheet_write_datetime(state_->sheet, row, column, &when, state_->date);
            break;
        }
        case QMetaType::Double:
        case QMetaType::Float:
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
            worksheet_write_number(state_->sheet, row, column, value.toDouble(),
                                   bold ? state_->boldAmount : state_->amount);
            break;
        default:
            worksheet_write_string(state_->sheet, row, column, utf8(value.toString()).constData(),
                                   bold ? state_->boldText : state_->text);
            break;
        }
    }
    ++row_;
}

void Writer::addNote(const QString &text)
{
    if (!ok())
        return;
    worksheet_write_string(state_->sheet, lxw_row_t(++row_), 0, utf8(text).constData(), nullptr);
    ++row_;
}

bool Writer::finish()
{
    if (!ok())
        return false;
    const lxw_error closed = workbook_close(state_->workbook);
    state_->workbook = nullptr;
    if (closed != LXW_NO_ERROR) {
        error_ = QStringLiteral("File Excel %1 tidak bisa ditulis: %2").arg(QDir::toNativeSeparators(path_), writeError(closed));
        QFile::remove(path_);
        return false;
    }
    return true;
}

} // namespace reports::xlsx
