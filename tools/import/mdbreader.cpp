// simparo-mdb-reader FILE.mdb TABLE...
//
// Reads the named tables of an Access (Jet) file with libmdb and writes them on
// its standard output in the stream described in mdbstream.h. simparo-import runs
// it as a child process, so that a fault of libmdb on a damaged file ends this
// small program and never the import itself. It links libmdb and glib only.
#include "mdbstream.h"

// mdbtools.h includes glib.h inside extern "C", which C++ refuses; glib first.
#include <glib.h>
#include <mdbtools.h>

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

std::uint64_t g_checksum = mdbstream::kChecksumStart;

[[noreturn]] void fail(int code, const std::string &message)
{
    std::fprintf(stderr, "simparo-mdb-reader: %s\n", message.c_str());
    std::exit(code);
}

void put(const void *data, std::size_t length)
{
    if (length == 0)
        return;
    g_checksum = mdbstream::checksum(g_checksum, data, length);
    if (std::fwrite(data, 1, length, stdout) != length)
        fail(mdbstream::kWriteFailed, std::string("cannot write: ") + std::strerror(errno));
}

void putByte(char value) { put(&value, 1); }

void putUnsigned(std::uint64_t value, int bytes)
{
    unsigned char out[8];
    for (int i = 0; i < bytes; ++i)
        out[i] = static_cast<unsigned char>(value >> (8 * i));
    put(out, static_cast<std::size_t>(bytes));
}

void putName(const char *name)
{
    const std::size_t length = std::strlen(name);
    if (length > mdbstream::kMaxName)
        fail(mdbstream::kBadTable, "name too long");
    putUnsigned(length, 2);
    put(name, length);
}

void putValue(const void *data, std::size_t length)
{
    if (length > mdbstream::kMaxValue)
        fail(mdbstream::kValueTooLong, "value too long");
    putUnsigned(length, 4);
    put(data, length);
}

// A Jet date is a count of days since 1899-12-30; the fraction is the time of day.
// Years 100 to 9999 are all that Access itself accepts.
std::string isoDate(double days)
{
    if (!std::isfinite(days) || days < -657434.0 || days >= 2958466.0)
        fail(mdbstream::kBadDate, "date/time value out of range");
    struct tm t = {};
    mdb_date_to_tm(days, &t);
    char text[80];
    if (t.tm_hour == 0 && t.tm_min == 0 && t.tm_sec == 0)
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    else
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                      t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

void writeTable(MdbHandle *mdb, const char *name)
{
    MdbCatalogEntry *entry = mdb_get_catalogentry_by_name(mdb, name);
    if (!entry || entry->object_type != MDB_TABLE)
        fail(mdbstream::kNoTable, std::string("no table ") + name);
    MdbTableDef *table = mdb_read_table(entry);
    if (!table)
        fail(mdbstream::kBadTable, std::string("cannot read the definition of ") + name);
    if (!mdb_read_columns(table) || table->num_cols == 0 || table->num_cols > mdbstream::kMaxColumns
        || table->columns->len != table->num_cols)
        fail(mdbstream::kBadTable, std::string("cannot read the columns of ") + name);
    mdb_rewind_table(table);

    putByte(mdbstream::kTable);
    putName(entry->object_name);
    putUnsigned(table->num_cols, 2);
    putUnsigned(table->num_rows, 4);

    const std::size_t bindSize = mdb->bind_size;
    std::vector<std::vector<char>> buffers(table->num_cols, std::vector<char>(bindSize + 1, 0));
    std::vector<int> lengths(table->num_cols, 0);
    std::vector<MdbColumn *> columns(table->num_cols);
    for (unsigned i = 0; i < table->num_cols; ++i) {
        MdbColumn *column = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, i));
        columns[i] = column;
        putName(column->name);
        putUnsigned(static_cast<unsigned char>(column->col_type), 1);
        putUnsigned(static_cast<std::uint16_t>(column->col_size), 2);
        // Doubles and dates are taken raw from the page (exact, and free of any
        // locale); everything else through libmdb's text form.
        if (column->col_type != mdbstream::kTypeDouble && column->col_type != mdbstream::kTypeDateTime)
            mdb_bind_column(table, static_cast<int>(i + 1), buffers[i].data(), &lengths[i]);
    }

    std::uint32_t rows = 0;
    while (mdb_fetch_row(table)) {
        putByte(mdbstream::kRow);
        for (unsigned i = 0; i < table->num_cols; ++i) {
            MdbColumn *column = columns[i];
            if (column->col_type == mdbstream::kTypeDouble || column->col_type == mdbstream::kTypeDateTime) {
                const int length = column->cur_value_len;
                if (length == 0) {
                    putValue(nullptr, 0);
                    continue;
                }
                if (length != 8 || column->cur_value_start < 0
                    || column->cur_value_start + 8 > static_cast<int>(mdb->fmt->pg_size))
                    fail(mdbstream::kBadTable, std::string("bad fixed value in ") + name);
                const double value = mdb_get_double(mdb->pg_buf, column->cur_value_start);
                if (column->col_type == mdbstream::kTypeDouble) {
                    unsigned char raw[8];
                    std::uint64_t bits;
                    std::memcpy(&bits, &value, 8);
                    for (int b = 0; b < 8; ++b)
                        raw[b] = static_cast<unsigned char>(bits >> (8 * b));
                    putValue(raw, 8);
                } else {
                    const std::string text = isoDate(value);
                    putValue(text.data(), text.size());
                }
                continue;
            }
            const std::size_t length = std::strlen(buffers[i].data());
            // libmdb cuts what does not fit its buffer; a full buffer may be a cut value.
            if (length >= bindSize - 1)
                fail(mdbstream::kValueTooLong, std::string("value too long in ") + name);
            putValue(buffers[i].data(), length);
            buffers[i][0] = '\0';
        }
        ++rows;
    }
    putByte(mdbstream::kTableEnd);
    putUnsigned(rows, 4);
    mdb_free_tabledef(table);
}

} // namespace

int main(int argc, char **argv)
{
    // Nothing of the operator's locale may shape the values: decimal marks, date
    // order and the text encoding are all fixed here.
    std::setlocale(LC_ALL, "C");
    unsetenv("MDB_ICONV");
    unsetenv("MDB_JET3_CHARSET");
    unsetenv("MDBOPTS");
    if (argc < 3) {
        std::fprintf(stderr, "usage: simparo-mdb-reader FILE.mdb TABLE...\n");
        return mdbstream::kUsage;
    }
    static char outputBuffer[1 << 16];
    std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);

    const char *file = argv[1];
    struct stat info = {};
    if (stat(file, &info) != 0 || !S_ISREG(info.st_mode))
        fail(mdbstream::kCannotOpen, std::string("cannot open ") + file);
    MdbHandle *mdb = mdb_open(file, MDB_NOFLAGS);
    if (!mdb)
        fail(mdbstream::kCannotOpen, std::string("not an Access file: ") + file);
    if (mdb->fmt->pg_size <= 0 || info.st_size % mdb->fmt->pg_size != 0)
        fail(mdbstream::kTruncated, "the file length is not a whole number of pages");
    mdb_set_date_fmt(mdb, "%Y-%m-%d %H:%M:%S");
    mdb_set_shortdate_fmt(mdb, "%Y-%m-%d");
    if (!mdb_read_catalog(mdb, MDB_TABLE))
        fail(mdbstream::kCannotOpen, "cannot read the catalog");

    put(mdbstream::kMagic, mdbstream::kMagicLength);
    putUnsigned(mdbstream::kVersion, 2);
    for (int i = 2; i < argc; ++i)
        writeTable(mdb, argv[i]);
    const std::uint64_t sum = g_checksum;
    putByte(mdbstream::kEnd);
    putUnsigned(sum, 8);
    if (std::fflush(stdout) != 0)
        fail(mdbstream::kWriteFailed, std::string("cannot write: ") + std::strerror(errno));
    mdb_close(mdb);
    return mdbstream::kOk;
}
