#include "reportlayout.h"

#include "data/base/money.h"
#include "data/base/textforms.h"

#include <algorithm>

// The rows of a report as they come: the texts of their cells, the lines of totals
// after them, and what kind of value each column holds. The pages are laid out
// from these in reportlayout.cpp.
namespace reports {

using namespace layout;

// What a report keeps while its rows come: the texts of their cells, and the counts
// and sums of its lines of totals.
struct ReportDocument::Builder::State {
    explicit State(const ReportDefinition &report) : definition(report) {}
    const ReportDefinition &definition;
    std::unique_ptr<Data> d = std::make_unique<Data>();
    QStringList columns;
    QVector<int> source;   // the column each slot of the detail shows, -1 for a fixed text
    QVector<bool> anyText; // slots with a value that is not a number
    QVector<bool> anyDate, anyOther; // slots with a date, and with a value that is no date
    // Each line of a definition's totals: its value of `by`, its rows' count and
    // the sums of its columns in sen.
    struct Line {
        QString value;
        qint64 count = 0;
        QHash<int, qint64> sen;
        QHash<int, qint64> nothing; // rows with nothing in a column
    };
    struct Totals {
        int by = -1;
        QList<int> sums;
        QList<int> nothing; // columns whose rows with nothing are counted
        QVector<Line> lines;
        QHash<QString, int> lineOf;
    };
    QVector<Totals> totals;

    int columnOf(const QString &name) const
    {
        for (int c = 0; c < columns.size(); ++c)
            if (columns.at(c).compare(name, Qt::CaseInsensitive) == 0)
                return c;
        return -1;
    }

    void takeTexts(Data &data, const QHash<QString, QString> &texts) const;
    QVector<bool> appendTotalLines(Data &data, const QHash<QString, QString> &texts);
    void settleKinds(Data &data, const QVector<bool> &summed) const;
};

ReportDocument::Builder::Builder(const ReportDefinition &definition) : s_(std::make_unique<State>(definition))
{
    Data &d = *s_->d;
    // Table columns: the headings of the page header over the items of the detail.
    for (const SectionKind kind : {SectionKind::PageHeader, SectionKind::Detail})
        for (const ReportItem &item : definition.section(kind).items)
            d.slotCount = std::max(d.slotCount, item.slot + 1);
    d.fixed.fill(false, d.slotCount);
    d.fixedText.resize(d.slotCount);
    d.numeric.fill(false, d.slotCount);
    s_->anyText.fill(false, d.slotCount);
    s_->anyDate.fill(false, d.slotCount);
    s_->anyOther.fill(false, d.slotCount);
    s_->source.fill(-1, d.slotCount);
}

ReportDocument::Builder::~Builder() = default;

bool ReportDocument::Builder::begin(const QStringList &columns, QString *error)
{
    State &s = *s_;
    s.columns = columns;
    const auto found = [&](const QString &name, int *column) {
        *column = s.columnOf(name);
        if (*column < 0)
            *error = QStringLiteral("Laporan %1 tidak bisa disusun: kolom %2 tidak ada pada data %3.")
                         .arg(s.definition.name, name, s.definition.dataMember);
        return *column >= 0;
    };
    // What each slot of a detail line shows: a column of the row, or a fixed text.
    for (const ReportItem &item : s.definition.section(SectionKind::Detail).items) {
        if (item.slot < 0)
            continue;
        s.d->fixed[item.slot] = item.kind != ReportItem::Kind::Field;
        if (item.kind == ReportItem::Kind::Field && !found(item.column, &s.source[item.slot]))
            return false;
    }
    s.totals.clear();
    for (const ReportTotals &definition : s.definition.totals) {
        State::Totals totals;
        if (!definition.by.isEmpty() && !found(definition.by, &totals.by))
            return false;
        for (const ReportItem &item : definition.items) {
            const bool counted = item.kind == ReportItem::Kind::Count && !item.column.isEmpty();
            if (item.slot >= s.d->slotCount || (item.kind != ReportItem::Kind::Sum && !counted))
                continue;
            int column = -1;
            if (!found(item.column, &column))
                return false;
            QList<int> &wanted = counted ? totals.nothing : totals.sums;
            if (!wanted.contains(column))
                wanted << column;
        }
        if (totals.by < 0)
            totals.lines.resize(1);
        s.totals << totals;
    }
    return true;
}

void ReportDocument::Builder::add(const QVector<QVariant> &values)
{
    State &s = *s_;
    Data &d = *s.d;
    for (int slot = 0; slot < d.slotCount; ++slot) {
        if (s.source[slot] < 0) {
            d.appendCell({});
            continue;
        }
        const QVariant &value = values.value(s.source[slot]);
        const int type = value.metaType().id();
        if (type == QMetaType::Double)
            d.numeric[slot] = true;
        else if (!value.isNull())
            s.anyText[slot] = true;
        if (type == QMetaType::QDate)
            s.anyDate[slot] = true;
        else if (!value.isNull())
            s.anyOther[slot] = true;
        d.appendCell(textform::display(value));
    }
    ++d.rows;
    for (State::Totals &totals : s.totals) {
        int at = 0;
        if (totals.by >= 0) {
            const QString value = textform::display(values.value(totals.by));
            at = totals.lineOf.value(value, -1);
            if (at < 0) {
                at = int(totals.lines.size());
                totals.lineOf.insert(value, at);
                totals.lines.append(State::Line{value, 0, {}, {}});
            }
        }
        State::Line &line = totals.lines[at];
        ++line.count;
        for (int column : std::as_const(totals.sums))
            if (const std::optional<Money> amount = Money::fromStored(values.value(column)))
                line.sen[column] += amount->sen();
        for (int column : std::as_const(totals.nothing)) {
            const std::optional<Money> amount = Money::fromStored(values.value(column));
            if (!amount || amount->sen() == 0)
                ++line.nothing[column];
        }
    }
}

std::optional<ReportDocument> ReportDocument::layOut(const ReportDefinition &definition, const dataenv::ReportRows &rows,
                                                     QString *error, const Progress &progress)
{
    Builder builder(definition);
    if (!builder.begin(rows.columns, error))
        return std::nullopt;
    for (const QVector<QVariant> &values : rows.rows)
        builder.add(values);
    return builder.finish(rows.texts, progress);
}

ReportDocument ReportDocument::Builder::finish(const QHash<QString, QString> &texts, const Progress &progress)
{
    State &state = *s_;
    ReportDocument document;
    document.d = std::move(state.d);
    Data &d = *document.d;
    d.caption = state.definition.caption;
    d.setPaper(state.definition.orientation);
    state.takeTexts(d, texts);
    const QVector<bool> summed = state.appendTotalLines(d, texts);
    state.settleKinds(d, summed);

    d.fitColumns(progress);
    d.setFonts();
    d.layOutSections(state.definition, texts);
    d.wrapHeadings();
    d.wrapCells(progress);
    d.paginate();
    if (progress)
        progress(d.progressTotal(), d.progressTotal());
    return document;
}

// The texts of the labels: the column headings, the lines of the report's header
// and footer as a workbook shows them, and the fixed texts of the detail.
void ReportDocument::Builder::State::takeTexts(Data &data, const QHash<QString, QString> &texts) const
{
    QVector<QString> headingText(data.slotCount);
    for (const ReportItem &item : definition.section(SectionKind::PageHeader).items)
        if (item.slot >= 0 && item.kind == ReportItem::Kind::Label)
            headingText[item.slot] = Data::filled(item.text, texts);
    data.headingTexts = headingText;
    const auto labels = [&](SectionKind kind) {
        QStringList lines;
        for (const ReportItem &item : definition.section(kind).items)
            if (item.kind == ReportItem::Kind::Label && item.slot < 0)
                lines << Data::filled(item.text, texts);
        return lines;
    };
    data.headerTexts = labels(SectionKind::ReportHeader);
    data.footerTexts = labels(SectionKind::ReportFooter);
    for (const ReportItem &item : definition.section(SectionKind::Detail).items)
        if (item.slot >= 0 && item.kind != ReportItem::Kind::Field)
            data.fixedText[item.slot] = Data::filled(item.text, texts);
}

// The lines of totals after the rows, each definition's under a rule. Tells which
// slots show a sum on any of them.
QVector<bool> ReportDocument::Builder::State::appendTotalLines(Data &data, const QHash<QString, QString> &texts)
{
    QVector<bool> summed(data.slotCount, false);
    for (qsizetype t = 0; t < totals.size(); ++t) {
        const ReportTotals &wanted = definition.totals.at(t);
        data.totalsStart << data.rows + data.totalLines;
        for (const Line &line : std::as_const(totals.at(t).lines)) {
            QVector<QString> cells(data.slotCount);
            QVector<bool> sums(data.slotCount, false);
            for (const ReportItem &item : wanted.items) {
                if (item.slot < 0 || item.slot >= data.slotCount)
                    continue;
                const auto shown = [&](const QString &number) {
                    return item.text.isEmpty() ? number : item.text.arg(number);
                };
                QString &cell = cells[item.slot];
                switch (item.kind) {
                case ReportItem::Kind::Label:
                    cell = Data::filled(item.text, texts);
                    break;
                case ReportItem::Kind::Field:
                    cell = line.value.isEmpty() ? item.text : line.value;
                    break;
                case ReportItem::Kind::Sum:
                    cell = shown(Money::fromSen(line.sen.value(columnOf(item.column))).toText());
                    summed[item.slot] = true;
                    sums[item.slot] = item.text.isEmpty();
                    break;
                case ReportItem::Kind::Count:
                    cell = shown(QString::number(item.column.isEmpty() ? line.count
                                                                       : line.nothing.value(columnOf(item.column))));
                    break;
                }
            }
            for (const QString &cell : std::as_const(cells))
                data.appendCell(cell);
            data.sumCells << sums;
            ++data.totalLines;
        }
    }
    totals.clear();
    if (!data.cellBlocks.empty()) {
        data.cellBlocks.back().text.squeeze();
        data.cellBlocks.back().ends.squeeze();
    }
    return summed;
}

// What each column holds (amounts, dates or text), and which are set to the right.
void ReportDocument::Builder::State::settleKinds(Data &data, const QVector<bool> &summed) const
{
    data.kinds.fill(CellKind::Text, data.slotCount);
    for (int slot = 0; slot < data.slotCount; ++slot) {
        if (data.numeric[slot] && !anyText[slot])
            data.kinds[slot] = CellKind::Number;
        else if (anyDate[slot] && !anyOther[slot])
            data.kinds[slot] = CellKind::Date;
    }
    // A column of amounts, or of their sums, is set to the right.
    for (int slot = 0; slot < data.slotCount; ++slot)
        data.numeric[slot] = (data.numeric[slot] || summed[slot]) && !anyText[slot];
}

} // namespace reports
