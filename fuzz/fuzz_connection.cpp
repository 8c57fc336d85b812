// libFuzzer target: connection texts and the file they name. Whatever the text,
// reading it never crashes; a value read is trimmed and holds no separator; the
// Data Source written into a connection text is read back as written; and the
// file named is a clean path with forward slashes.
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"

#include <QDir>
#include <QString>
#include <cstdint>
#include <cstdlib>

static void require(bool condition)
{
    if (!condition)
        std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));

    const QString source = db::connectionValue(text, QStringLiteral("Data Source"));
    require(source == source.trimmed() && !source.contains(u';'));
    const QString file = db::fileFromConnectionText(text);
    require(!file.contains(u'\\'));
    require(QDir::cleanPath(file) == file);

    // The text as the Data Source of a connection text of the program's form.
    QString value = text;
    value.remove(u';');
    const QString written = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Persist Security Info=False")
                                .arg(value);
    require(db::connectionValue(written, QStringLiteral("data source")) == value.trimmed());
    require(db::connectionValue(written, QStringLiteral("Provider")) == QLatin1String("Microsoft.Jet.OLEDB.4.0"));
    return 0;
}
