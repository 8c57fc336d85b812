#pragma once

// The stream that simparo-mdb-reader writes on its standard output and
// simparo-import reads. Plain C++ only: the reader links libmdb and nothing else.
//
// All integers are unsigned and little-endian.
//
//   stream  := magic version table* end
//   magic   := "SIMPARO-MDB\n"                      (12 bytes)
//   version := u16 = 1
//   table   := 'T' u16 nameLength name u16 columnCount u32 declaredRows
//              column{columnCount} row* 'E' u32 rowCount
//   column  := u16 nameLength name u8 type u16 size  (type and size as libmdb tells them)
//   row     := 'R' value{columnCount}
//   value   := u32 length, then length bytes
//   end     := 'Z' u64 checksum                      (FNV-1a 64 of every byte before this 'Z')
//
// Nothing follows the end. Tables come in the order they were asked for, rows in
// the order they are stored in the file. declaredRows is the row count that the
// table's definition page states; rowCount is the number of rows that followed.
//
// A value is encoded by its column's type:
//   Text, Memo   UTF-8 text as libmdb gives it. NULL and the empty text are both
//                of length 0: libmdb does not tell them apart.
//   Double       8 bytes, IEEE-754 binary64, little-endian; length 0 for NULL.
//   Date/Time    ASCII "YYYY-MM-DD", or "YYYY-MM-DD HH:MM:SS" when the time of day
//                is not midnight; length 0 for NULL.
//   others       libmdb's text form under the C locale.
#include <cstddef>
#include <cstdint>

namespace mdbstream {

inline constexpr char kMagic[] = "SIMPARO-MDB\n";
inline constexpr std::size_t kMagicLength = 12;
inline constexpr std::uint16_t kVersion = 1;

inline constexpr char kTable = 'T';
inline constexpr char kRow = 'R';
inline constexpr char kTableEnd = 'E';
inline constexpr char kEnd = 'Z';

// Limits that no value of a sound file comes near; a larger one means garbage.
inline constexpr std::uint32_t kMaxName = 256;
inline constexpr std::uint32_t kMaxColumns = 255;
inline constexpr std::uint32_t kMaxValue = 65536;

// Column types, as libmdb numbers them.
inline constexpr int kTypeDouble = 0x07;
inline constexpr int kTypeDateTime = 0x08;
inline constexpr int kTypeText = 0x0a;
inline constexpr int kTypeMemo = 0x0c;

// Exit codes of the reader.
enum Exit : int {
    kOk = 0,
    kUsage = 64,
    kCannotOpen = 65,   // missing, unreadable, or not an Access (Jet) file
    kTruncated = 66,    // the file's length is not a whole number of pages
    kNoTable = 67,      // an asked table is not in the file
    kBadTable = 68,     // a table's definition cannot be read
    kValueTooLong = 69, // a value longer than kMaxValue or libmdb's buffer
    kBadDate = 70,      // a Date/Time value outside the years 100 to 9999
    kWriteFailed = 71,  // the standard output could not be written
};

inline constexpr std::uint64_t kChecksumStart = 0xcbf29ce484222325ull;

inline std::uint64_t checksum(std::uint64_t state, const void *data, std::size_t length)
{
    const auto *bytes = static_cast<const unsigned char *>(data);
    for (std::size_t i = 0; i < length; ++i) {
        state ^= bytes[i];
        state *= 0x100000001b3ull;
    }
    return state;
}

} // namespace mdbstream
