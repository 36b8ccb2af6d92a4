#include "app/string_grid.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QSaveFile>
#include <QScrollBar>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <numeric>

// ---------------------------------------------------------------------------------------------
// Sort keys

namespace {

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

bool isBlank(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.isSpace(); });
}

// Digit runs compare by their value, everything else by code point (the callers fold the case).
int naturalCompare(QStringView a, QStringView b) {
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (isAsciiDigit(a[i]) && isAsciiDigit(b[j])) {
            while (i < a.size() && a[i] == u'0') {
                ++i;
            }
            while (j < b.size() && b[j] == u'0') {
                ++j;
            }
            qsizetype endA = i;
            while (endA < a.size() && isAsciiDigit(a[endA])) {
                ++endA;
            }
            qsizetype endB = j;
            while (endB < b.size() && isAsciiDigit(b[endB])) {
                ++endB;
            }
            if (endA - i != endB - j) {
                return endA - i < endB - j ? -1 : 1;
            }
            for (; i < endA; ++i, ++j) {
                if (a[i] != b[j]) {
                    return a[i] < b[j] ? -1 : 1;
                }
            }
            continue;
        }
        if (a[i] != b[j]) {
            return a[i] < b[j] ? -1 : 1;
        }
        ++i;
        ++j;
    }
    if (i < a.size()) {
        return 1;
    }
    if (j < b.size()) {
        return -1;
    }
    return 0;
}

}  // namespace

std::optional<double> gridNumberKey(const QString& text) {
    const QString t = text.trimmed();
    // Longer texts are no number a pump reports; from_chars needs a bounded buffer anyway.
    if (t.isEmpty() || t.size() > 64) {
        return std::nullopt;
    }
    std::string ascii;
    bool digits = false;
    bool point = false;
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        if (i == 0 && (c == u'-' || c == u'+')) {
            if (c == u'-') {
                ascii += '-';
            }
        } else if (isAsciiDigit(c)) {
            ascii += static_cast<char>(c.unicode());
            digits = true;
        } else if ((c == u'.' || c == u',') && !point) {
            // The error log writes its fractions with the system's decimal separator.
            ascii += '.';
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digits) {
        return std::nullopt;
    }
    double value = 0;
    const char* end = ascii.data() + ascii.size();
    const auto [ptr, ec] = std::from_chars(ascii.data(), end, value);
    if (ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> gridTimeKey(const QString& text) {
    const QStringList parts = text.trimmed().split(u':');
    if (parts.size() < 2 || parts.size() > 3) {
        return std::nullopt;
    }
    double seconds = 0;
    const double weights[3] = {3600, 60, 1};
    for (qsizetype k = 0; k < parts.size(); ++k) {
        const QString& part = parts[k];
        if (part.isEmpty() || part.size() > 9 ||
            !std::all_of(part.begin(), part.end(), isAsciiDigit)) {
            return std::nullopt;
        }
        seconds += part.toLongLong() * weights[k];
    }
    return seconds;
}

int gridTextCompare(const QString& a, const QString& b) {
    return naturalCompare(a.toCaseFolded(), b.toCaseFolded());
}

// ---------------------------------------------------------------------------------------------
// Delimited text

QString composeDelimited(const QList<QStringList>& rows, QChar separator, const QString& lineEnd) {
    QString out;
    for (const QStringList& row : rows) {
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (c > 0) {
                out += separator;
            }
            const QString& cell = row[c];
            if (cell.contains(separator) || cell.contains(u'"') || cell.contains(u'\r') ||
                cell.contains(u'\n')) {
                QString quoted = cell;
                quoted.replace(u'"', QStringLiteral("\"\""));
                out += u'"';
                out += quoted;
                out += u'"';
            } else {
                out += cell;
            }
        }
        out += lineEnd;
    }
    return out;
}

DelimitedParse parseDelimited(QStringView text, QChar separator, int maxRows, int maxColumns) {
    DelimitedParse result;
    if (separator == u'"' || separator == u'\r' || separator == u'\n') {
        result.error = QStringLiteral("A quote or a line end cannot separate cells.");
        return result;
    }
    const qsizetype n = text.size();
    qsizetype i = 0;
    int line = 1;
    QStringList row;
    QString cell;
    auto lineEndAt = [&](qsizetype k) { return text[k] == u'\r' || text[k] == u'\n'; };
    while (i < n) {
        // One cell: a quoted part, then plain text up to the separator or the line end (text after
        // a closing quote is kept as it stands rather than refusing the file).
        const int cellLine = line;
        if (text[i] == u'"') {
            ++i;
            bool closed = false;
            while (i < n) {
                if (text[i] == u'"') {
                    if (i + 1 < n && text[i + 1] == u'"') {
                        cell += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                if (text[i] == u'\n') {
                    ++line;
                }
                cell += text[i];
                ++i;
            }
            if (!closed) {
                result.error =
                    QStringLiteral("Line %1: a quoted cell is not closed.").arg(cellLine);
                return result;
            }
        }
        while (i < n && text[i] != separator && !lineEndAt(i)) {
            cell += text[i];
            ++i;
        }
        row.append(cell);
        cell.clear();
        bool lineDone = true;
        if (i < n && text[i] == separator) {
            ++i;
            if (i < n) {
                lineDone = false;
            } else {
                row.append(QString());  // a separator at the very end: one more, empty cell
            }
        }
        if (row.size() > maxColumns) {
            result.error =
                QStringLiteral("Line %1 has more than %2 cells.").arg(cellLine).arg(maxColumns);
            return result;
        }
        if (!lineDone) {
            continue;
        }
        if (i < n) {
            if (text[i] == u'\r' && i + 1 < n && text[i + 1] == u'\n') {
                ++i;
            }
            ++i;
            ++line;
        }
        result.rows.append(row);
        row.clear();
        if (result.rows.size() > maxRows) {
            result.rows.clear();
            result.error = QStringLiteral("The file has more than %1 lines.").arg(maxRows);
            return result;
        }
    }
    result.ok = true;
    return result;
}

// ---------------------------------------------------------------------------------------------
// StringGridModel

StringGridModel::StringGridModel(QObject* parent) : QAbstractTableModel(parent) {}

StringGridModel::Row StringGridModel::emptyRow() const {
    Row row;
    row.cells.resize(columnCount_);
    return row;
}

bool StringGridModel::isCell(int column, int row) const {
    return column >= 0 && column < columnCount_ && row >= 0 && row < gridRowCount();
}

const StringGridModel::Cell* StringGridModel::cellAt(int column, int row) const {
    return isCell(column, row) ? &rows_[row].cells[column] : nullptr;
}

StringGridModel::Cell* StringGridModel::cellAt(int column, int row) {
    return isCell(column, row) ? &rows_[row].cells[column] : nullptr;
}

void StringGridModel::beginBulk() {
    ++bulkDepth_;
}

void StringGridModel::endBulk() {
    if (--bulkDepth_ > 0) {
        return;
    }
    if (resetOpen_) {
        resetOpen_ = false;
        endResetModel();
    } else {
        if (dirtyFirstRow_ <= dirtyLastRow_) {
            emit dataChanged(index(dirtyFirstRow_, dirtyFirstColumn_),
                             index(dirtyLastRow_, dirtyLastColumn_));
        }
        if (dirtyFirstTitle_ <= dirtyLastTitle_) {
            emit headerDataChanged(Qt::Horizontal, dirtyFirstTitle_, dirtyLastTitle_);
        }
    }
    dirtyFirstRow_ = dirtyFirstColumn_ = dirtyFirstTitle_ = 1;
    dirtyLastRow_ = dirtyLastColumn_ = dirtyLastTitle_ = 0;
    if (visibilityDirty_) {
        visibilityDirty_ = false;
        emit visibilityChanged();
    }
}

bool StringGridModel::structureInBulk() {
    if (bulkDepth_ == 0) {
        return false;
    }
    if (!resetOpen_) {
        beginResetModel();
        resetOpen_ = true;
    }
    return true;
}

void StringGridModel::rowChanged(int row, int firstColumn, int lastColumn) {
    if (row < fixedRows_) {
        if (bulkDepth_ == 0) {
            emit headerDataChanged(Qt::Horizontal, firstColumn, lastColumn);
        } else if (!resetOpen_) {
            if (dirtyFirstTitle_ > dirtyLastTitle_) {
                dirtyFirstTitle_ = firstColumn;
                dirtyLastTitle_ = lastColumn;
            } else {
                dirtyFirstTitle_ = std::min(dirtyFirstTitle_, firstColumn);
                dirtyLastTitle_ = std::max(dirtyLastTitle_, lastColumn);
            }
        }
        return;
    }
    const int modelRow = row - fixedRows_;
    if (bulkDepth_ == 0) {
        emit dataChanged(index(modelRow, firstColumn), index(modelRow, lastColumn));
    } else if (!resetOpen_) {
        if (dirtyFirstRow_ > dirtyLastRow_) {
            dirtyFirstRow_ = dirtyLastRow_ = modelRow;
            dirtyFirstColumn_ = firstColumn;
            dirtyLastColumn_ = lastColumn;
        } else {
            dirtyFirstRow_ = std::min(dirtyFirstRow_, modelRow);
            dirtyLastRow_ = std::max(dirtyLastRow_, modelRow);
            dirtyFirstColumn_ = std::min(dirtyFirstColumn_, firstColumn);
            dirtyLastColumn_ = std::max(dirtyLastColumn_, lastColumn);
        }
    }
}

void StringGridModel::cellChanged(int column, int row) {
    rowChanged(row, column, column);
}

void StringGridModel::visibilityTouched() {
    if (bulkDepth_ > 0) {
        visibilityDirty_ = true;
    } else {
        emit visibilityChanged();
    }
}

void StringGridModel::setFixedRows(int count) {
    count = std::clamp(count, 0, 1);
    if (count == fixedRows_) {
        return;
    }
    const bool bulk = structureInBulk();
    if (!bulk) {
        beginResetModel();
    }
    fixedRows_ = count;
    while (gridRowCount() < fixedRows_) {
        rows_.push_back(emptyRow());
    }
    // A title row is never hidden.
    for (int r = 0; r < fixedRows_; ++r) {
        if (rows_[r].hidden) {
            rows_[r].hidden = false;
            --hiddenRows_;
        }
    }
    if (!bulk) {
        endResetModel();
    }
}

void StringGridModel::setGridSize(int columns, int rows) {
    BulkUpdate bulk(*this);
    setColumnCount(columns);
    setRowCount(rows);
}

void StringGridModel::setColumnCount(int columns) {
    columns = std::max(columns, 0);
    if (columns == columnCount_) {
        return;
    }
    const bool bulk = structureInBulk();
    const int old = columnCount_;
    if (!bulk) {
        if (columns > old) {
            beginInsertColumns(QModelIndex(), old, columns - 1);
        } else {
            beginRemoveColumns(QModelIndex(), columns, old - 1);
        }
    }
    columnCount_ = columns;
    columns_.resize(columns);
    for (Row& row : rows_) {
        row.cells.resize(columns);
    }
    if (!bulk) {
        if (columns > old) {
            endInsertColumns();
        } else {
            endRemoveColumns();
        }
    }
}

void StringGridModel::setRowCount(int rows) {
    rows = std::max(rows, fixedRows_);
    const int old = gridRowCount();
    if (rows > old) {
        insertGridRows(old, rows - old);
    } else if (rows < old) {
        removeGridRows(rows, old - rows);
    }
}

void StringGridModel::insertGridRows(int row, int count) {
    if (count <= 0 || row < fixedRows_ || row > gridRowCount()) {
        return;
    }
    const bool bulk = structureInBulk();
    if (!bulk) {
        beginInsertRows(QModelIndex(), row - fixedRows_, row - fixedRows_ + count - 1);
    }
    rows_.insert(rows_.begin() + row, count, emptyRow());
    if (!bulk) {
        endInsertRows();
    }
}

void StringGridModel::removeGridRows(int row, int count) {
    if (row < fixedRows_ || row >= gridRowCount()) {
        return;
    }
    count = std::min(count, gridRowCount() - row);
    if (count <= 0) {
        return;
    }
    const bool bulk = structureInBulk();
    if (!bulk) {
        beginRemoveRows(QModelIndex(), row - fixedRows_, row - fixedRows_ + count - 1);
    }
    const auto first = rows_.begin() + row;
    hiddenRows_ -= static_cast<int>(
        std::count_if(first, first + count, [](const Row& r) { return r.hidden; }));
    rows_.erase(first, first + count);
    if (!bulk) {
        endRemoveRows();
    }
}

int StringGridModel::appendRow(const QStringList& texts) {
    Row row = emptyRow();
    for (int c = 0; c < columnCount_ && c < texts.size(); ++c) {
        row.cells[c].text = texts[c];
    }
    const int number = gridRowCount();
    const bool bulk = structureInBulk();
    if (!bulk) {
        beginInsertRows(QModelIndex(), number - fixedRows_, number - fixedRows_);
    }
    rows_.push_back(std::move(row));
    if (!bulk) {
        endInsertRows();
    }
    return number;
}

QString StringGridModel::text(int column, int row) const {
    const Cell* cell = cellAt(column, row);
    return cell ? cell->text : QString();
}

void StringGridModel::setText(int column, int row, const QString& text) {
    Cell* cell = cellAt(column, row);
    // The status pages rewrite the same texts every poll; an unchanged text repaints nothing.
    if (!cell || cell->text == text) {
        return;
    }
    cell->text = text;
    cellChanged(column, row);
}

void StringGridModel::setRowTexts(int row, const QStringList& texts, int firstColumn) {
    if (!isCell(firstColumn, row) || texts.isEmpty()) {
        return;
    }
    const int last = std::min<int>(columnCount_ - 1, firstColumn + texts.size() - 1);
    for (int c = firstColumn; c <= last; ++c) {
        rows_[row].cells[c].text = texts[c - firstColumn];
    }
    rowChanged(row, firstColumn, last);
}

void StringGridModel::clearData() {
    if (gridRowCount() <= fixedRows_ || columnCount_ == 0) {
        return;
    }
    for (int r = fixedRows_; r < gridRowCount(); ++r) {
        for (Cell& cell : rows_[r].cells) {
            cell = Cell{};
        }
    }
    // One change over every data row, not one per row.
    BulkUpdate bulk(*this);
    rowChanged(fixedRows_, 0, columnCount_ - 1);
    rowChanged(gridRowCount() - 1, 0, columnCount_ - 1);
}

void StringGridModel::setAlignment(int column, int row, Qt::Alignment alignment) {
    if (Cell* cell = cellAt(column, row); cell && cell->alignment != alignment) {
        cell->alignment = alignment;
        cellChanged(column, row);
    }
}

void StringGridModel::setTextColour(int column, int row, const QColor& colour) {
    if (Cell* cell = cellAt(column, row); cell && cell->foreground != colour) {
        cell->foreground = colour;
        cellChanged(column, row);
    }
}

void StringGridModel::setBackgroundColour(int column, int row, const QColor& colour) {
    if (Cell* cell = cellAt(column, row); cell && cell->background != colour) {
        cell->background = colour;
        cellChanged(column, row);
    }
}

Qt::Alignment StringGridModel::alignment(int column, int row) const {
    const Cell* cell = cellAt(column, row);
    if (!cell) {
        return {};
    }
    Qt::Alignment a = cell->alignment;
    if (!a && row >= fixedRows_) {
        a = columns_[column].alignment;
    }
    if (!a) {
        // Titles centred, cells left, as the view draws them by default.
        a = row < fixedRows_ ? Qt::AlignCenter : (Qt::AlignLeft | Qt::AlignVCenter);
    }
    if (!(a & Qt::AlignVertical_Mask)) {
        a |= Qt::AlignVCenter;
    }
    return a;
}

QColor StringGridModel::textColour(int column, int row) const {
    const Cell* cell = cellAt(column, row);
    if (!cell) {
        return {};
    }
    if (cell->foreground.isValid() || row < fixedRows_) {
        return cell->foreground;
    }
    return columns_[column].foreground;
}

QColor StringGridModel::backgroundColour(int column, int row) const {
    const Cell* cell = cellAt(column, row);
    if (!cell) {
        return {};
    }
    if (cell->background.isValid() || row < fixedRows_) {
        return cell->background;
    }
    return columns_[column].background;
}

void StringGridModel::setColumnAlignment(int column, Qt::Alignment alignment) {
    if (column >= 0 && column < columnCount_ && columns_[column].alignment != alignment) {
        columns_[column].alignment = alignment;
        if (gridRowCount() > fixedRows_) {
            BulkUpdate bulk(*this);
            rowChanged(fixedRows_, column, column);
            rowChanged(gridRowCount() - 1, column, column);
        }
    }
}

void StringGridModel::setColumnTextColour(int column, const QColor& colour) {
    if (column >= 0 && column < columnCount_ && columns_[column].foreground != colour) {
        columns_[column].foreground = colour;
        if (gridRowCount() > fixedRows_) {
            BulkUpdate bulk(*this);
            rowChanged(fixedRows_, column, column);
            rowChanged(gridRowCount() - 1, column, column);
        }
    }
}

void StringGridModel::setColumnBackgroundColour(int column, const QColor& colour) {
    if (column >= 0 && column < columnCount_ && columns_[column].background != colour) {
        columns_[column].background = colour;
        if (gridRowCount() > fixedRows_) {
            BulkUpdate bulk(*this);
            rowChanged(fixedRows_, column, column);
            rowChanged(gridRowCount() - 1, column, column);
        }
    }
}

void StringGridModel::setRowHidden(int row, bool hidden) {
    // A title row stays: the view draws it as the column header.
    if (row < fixedRows_ || row >= gridRowCount() || rows_[row].hidden == hidden) {
        return;
    }
    rows_[row].hidden = hidden;
    hiddenRows_ += hidden ? 1 : -1;
    visibilityTouched();
}

bool StringGridModel::isRowHidden(int row) const {
    return row >= 0 && row < gridRowCount() && rows_[row].hidden;
}

void StringGridModel::setColumnHidden(int column, bool hidden) {
    if (column < 0 || column >= columnCount_ || columns_[column].hidden == hidden) {
        return;
    }
    columns_[column].hidden = hidden;
    visibilityTouched();
}

bool StringGridModel::isColumnHidden(int column) const {
    return column >= 0 && column < columnCount_ && columns_[column].hidden;
}

int StringGridModel::displayedRow(int row) const {
    if (row < 0 || row >= gridRowCount() || rows_[row].hidden) {
        return -1;
    }
    int position = 0;
    for (int r = 0; r < row; ++r) {
        position += rows_[r].hidden ? 0 : 1;
    }
    return position;
}

int StringGridModel::rowAtDisplayedPosition(int position) const {
    if (position < 0) {
        return -1;
    }
    for (int r = 0; r < gridRowCount(); ++r) {
        if (!rows_[r].hidden && position-- == 0) {
            return r;
        }
    }
    return -1;
}

void StringGridModel::setColumnSortKind(int column, GridSortKind kind) {
    if (column >= 0 && column < columnCount_) {
        columns_[column].sortKind = kind;
    }
}

void StringGridModel::setColumnSortKey(int column,
                                       std::function<std::optional<double>(const QString&)> key) {
    if (column >= 0 && column < columnCount_) {
        columns_[column].sortKind = GridSortKind::Custom;
        columns_[column].sortKey = std::move(key);
    }
}

GridSortKind StringGridModel::columnSortKind(int column) const {
    return column >= 0 && column < columnCount_ ? columns_[column].sortKind : GridSortKind::Text;
}

void StringGridModel::sortRows(int column, Qt::SortOrder order) {
    const int first = fixedRows_;
    const int count = gridRowCount() - first;
    if (column < 0 || column >= columnCount_ || count < 2) {
        return;
    }
    // One key per row, computed once: numbers and times first, texts after them, blanks last.
    struct Key {
        int group = 2;
        double number = 0;
        QString folded;
    };
    const Column& settings = columns_[column];
    std::vector<Key> keys(count);
    for (int i = 0; i < count; ++i) {
        const QString& text = rows_[first + i].cells[column].text;
        Key& key = keys[i];
        if (isBlank(text)) {
            continue;
        }
        std::optional<double> number;
        switch (settings.sortKind) {
            case GridSortKind::Number:
                number = gridNumberKey(text);
                break;
            case GridSortKind::Time:
                number = gridTimeKey(text);
                break;
            case GridSortKind::Custom:
                if (settings.sortKey) {
                    number = settings.sortKey(text);
                }
                break;
            case GridSortKind::Text:
                break;
        }
        if (number && !std::isnan(*number)) {
            key.group = 0;
            key.number = *number;
        } else {
            key.group = 1;
            key.folded = text.toCaseFolded();
        }
    }
    const bool ascending = order == Qt::AscendingOrder;
    std::vector<int> permutation(count);
    std::iota(permutation.begin(), permutation.end(), 0);
    std::stable_sort(permutation.begin(), permutation.end(), [&](int a, int b) {
        const Key& ka = keys[a];
        const Key& kb = keys[b];
        if (ka.group != kb.group) {
            return ka.group < kb.group;
        }
        if (ka.group == 0) {
            return ascending ? ka.number < kb.number : kb.number < ka.number;
        }
        if (ka.group == 1) {
            const int c = naturalCompare(ka.folded, kb.folded);
            return ascending ? c < 0 : c > 0;
        }
        return false;
    });
    bool moved = false;
    for (int i = 0; i < count && !moved; ++i) {
        moved = permutation[i] != i;
    }
    if (!moved) {
        return;
    }

    const bool tell = !resetOpen_;
    if (tell) {
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    }
    std::vector<Row> sorted;
    sorted.reserve(count);
    std::vector<int> newRow(count);
    for (int i = 0; i < count; ++i) {
        sorted.push_back(std::move(rows_[first + permutation[i]]));
        newRow[permutation[i]] = i;
    }
    std::move(sorted.begin(), sorted.end(), rows_.begin() + first);
    if (tell) {
        // The selection and the current cell go with their rows.
        const QModelIndexList from = persistentIndexList();
        QModelIndexList to;
        to.reserve(from.size());
        for (const QModelIndex& old : from) {
            to.append(old.isValid() && old.row() < count ? index(newRow[old.row()], old.column())
                                                         : QModelIndex());
        }
        changePersistentIndexList(from, to);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }
    if (bulkDepth_ > 0 && dirtyFirstRow_ <= dirtyLastRow_) {
        // Changed cells may have gone anywhere.
        dirtyFirstRow_ = 0;
        dirtyLastRow_ = count - 1;
    }
}

void StringGridModel::sort(int column, Qt::SortOrder order) {
    sortRows(column, order);
}

QList<QStringList> StringGridModel::rowsOfText(Cells which) const {
    const bool visibleOnly = which == Cells::Visible;
    QList<QStringList> out;
    out.reserve(gridRowCount());
    for (const Row& row : rows_) {
        if (visibleOnly && row.hidden) {
            continue;
        }
        QStringList texts;
        texts.reserve(columnCount_);
        for (int c = 0; c < columnCount_; ++c) {
            if (!(visibleOnly && columns_[c].hidden)) {
                texts.append(row.cells[c].text);
            }
        }
        out.append(texts);
    }
    return out;
}

std::vector<std::vector<std::string>> StringGridModel::visibleTable() const {
    std::vector<std::vector<std::string>> out;
    for (const QStringList& row : rowsOfText(Cells::Visible)) {
        std::vector<std::string>& line = out.emplace_back();
        line.reserve(row.size());
        for (const QString& text : row) {
            line.push_back(text.toStdString());
        }
    }
    return out;
}

QByteArray StringGridModel::toDelimited(QChar separator, Cells which) const {
    return composeDelimited(rowsOfText(which), separator).toUtf8();
}

bool StringGridModel::writeDelimitedFile(const QString& path, QChar separator, QString* error,
                                         Cells which) const {
    QSaveFile file(path);
    const QByteArray bytes = toDelimited(separator, which);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error) {
            *error = QStringLiteral("The file %1 could not be written: %2")
                         .arg(path, file.errorString());
        }
        file.cancelWriting();
        return false;
    }
    return true;
}

DelimitedReadResult StringGridModel::readDelimited(const QByteArray& bytes, QChar separator) {
    DelimitedReadResult result;
    if (bytes.size() > kMaxDelimitedBytes) {
        result.error = QStringLiteral("The file is larger than %1 MiB.")
                           .arg(kMaxDelimitedBytes / (1024 * 1024));
        return result;
    }
    QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF")) {
        view = view.sliced(3);
    }
    const QString text = QString::fromUtf8(view);
    DelimitedParse parsed =
        parseDelimited(text, separator, kMaxDelimitedRows, kMaxDelimitedColumns);
    if (!parsed.ok) {
        result.error = parsed.error;
        return result;
    }
    int columns = parsed.rows.isEmpty() ? columnCount_ : 0;
    for (const QStringList& row : parsed.rows) {
        columns = std::max<int>(columns, row.size());
    }

    const bool bulk = structureInBulk();
    if (!bulk) {
        beginResetModel();
    }
    columnCount_ = columns;
    columns_.resize(columns);
    rows_.clear();
    rows_.reserve(std::max<qsizetype>(parsed.rows.size(), fixedRows_));
    for (QStringList& texts : parsed.rows) {
        Row& row = rows_.emplace_back(emptyRow());
        for (qsizetype c = 0; c < texts.size(); ++c) {
            row.cells[c].text = std::move(texts[c]);
        }
    }
    while (gridRowCount() < fixedRows_) {
        rows_.push_back(emptyRow());
    }
    const bool hadHiddenRows = hiddenRows_ > 0;
    hiddenRows_ = 0;
    if (!bulk) {
        endResetModel();
    }
    if (hadHiddenRows) {
        visibilityTouched();
    }
    result.ok = true;
    result.rows = gridRowCount();
    result.columns = columnCount_;
    return result;
}

DelimitedReadResult StringGridModel::readDelimitedFile(const QString& path, QChar separator) {
    DelimitedReadResult result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error =
            QStringLiteral("The file %1 could not be read: %2").arg(path, file.errorString());
        return result;
    }
    // Read one byte past the limit, so a file that grows while it is read is refused too.
    const QByteArray bytes = file.read(kMaxDelimitedBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        result.error =
            QStringLiteral("The file %1 could not be read: %2").arg(path, file.errorString());
        return result;
    }
    return readDelimited(bytes, separator);
}

int StringGridModel::gridRow(const QModelIndex& index) const {
    return index.isValid() ? index.row() + fixedRows_ : -1;
}

QModelIndex StringGridModel::indexOf(int column, int row) const {
    return isCell(column, row) && row >= fixedRows_ ? index(row - fixedRows_, column)
                                                    : QModelIndex();
}

int StringGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : gridRowCount() - fixedRows_;
}

int StringGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columnCount_;
}

QVariant StringGridModel::cellData(int column, int row, int role) const {
    const Cell* cell = cellAt(column, row);
    if (!cell) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return cell->text;
        case Qt::TextAlignmentRole:
            return static_cast<int>(alignment(column, row).toInt());
        case Qt::ForegroundRole: {
            const QColor colour = textColour(column, row);
            return colour.isValid() ? QVariant(QBrush(colour)) : QVariant();
        }
        case Qt::BackgroundRole: {
            const QColor colour = backgroundColour(column, row);
            return colour.isValid() ? QVariant(QBrush(colour)) : QVariant();
        }
        default:
            return {};
    }
}

QVariant StringGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.model() != this) {
        return {};
    }
    return cellData(index.column(), index.row() + fixedRows_, role);
}

QVariant StringGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || fixedRows_ == 0) {
        return {};
    }
    return cellData(section, 0, role);
}

Qt::ItemFlags StringGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

// ---------------------------------------------------------------------------------------------
// StringGrid

StringGrid::StringGrid(QWidget* parent) : QTableView(parent), model_(new StringGridModel(this)) {
    setModel(model_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setSortIndicatorShown(false);
    setContextMenuPolicy(Qt::CustomContextMenu);

    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) { onContextMenu(this, position); });
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        emit cellClicked(index.column(), model_->gridRow(index));
    });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        emit cellDoubleClicked(index.column(), model_->gridRow(index));
    });
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this,
            &StringGrid::onHeaderSectionClicked);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                emit currentGridRowChanged(model_->gridRow(current));
            });
    connect(model_, &StringGridModel::visibilityChanged, this, &StringGrid::applyVisibility);
    connect(model_, &QAbstractItemModel::layoutChanged, this, &StringGrid::applyVisibility);
    connect(model_, &QAbstractItemModel::modelReset, this, &StringGrid::applyShape);
    connect(model_, &QAbstractItemModel::columnsInserted, this, &StringGrid::applyShape);
    applyShape();
}

void StringGrid::setCaption(const QString& caption) {
    setAccessibleName(caption);
    if (frozen_) {
        frozen_->setAccessibleName(caption);
    }
}

void StringGrid::setFixedColumns(int count) {
    fixedColumns_ = std::max(count, 0);
    if (fixedColumns_ > 0 && !frozen_) {
        createFixedColumnView();
    }
    applyShape();
}

void StringGrid::createFixedColumnView() {
    // A second view over the same model and selection, laid over the left edge: it draws the
    // fixed columns and never scrolls sideways.
    frozen_ = new QTableView(this);
    frozen_->setObjectName(QStringLiteral("fixedColumns"));
    frozen_->setModel(model_);
    frozen_->setSelectionModel(selectionModel());
    frozen_->setFocusPolicy(Qt::NoFocus);
    frozen_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    frozen_->setSelectionBehavior(selectionBehavior());
    frozen_->setSelectionMode(selectionMode());
    frozen_->setWordWrap(false);
    frozen_->setVerticalScrollMode(verticalScrollMode());
    frozen_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    frozen_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    frozen_->setFrameShape(QFrame::NoFrame);
    frozen_->setShowGrid(showGrid());
    frozen_->setAccessibleName(accessibleName());
    frozen_->verticalHeader()->hide();
    frozen_->verticalHeader()->setMinimumSectionSize(verticalHeader()->minimumSectionSize());
    frozen_->verticalHeader()->setDefaultSectionSize(verticalHeader()->defaultSectionSize());
    frozen_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    frozen_->horizontalHeader()->setHighlightSections(false);
    frozen_->horizontalHeader()->setSectionsClickable(true);
    frozen_->horizontalHeader()->setSortIndicatorShown(headerClickSorting_);
    if (sortColumn_ >= 0) {
        frozen_->horizontalHeader()->setSortIndicator(sortColumn_, sortOrder_);
    }
    frozen_->setContextMenuPolicy(Qt::CustomContextMenu);
    for (int c = 0; c < model_->gridColumnCount(); ++c) {
        frozen_->setColumnWidth(c, columnWidth(c));
    }
    viewport()->stackUnder(frozen_);
    applyFixedSelectionColours();

    connect(frozen_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) { onContextMenu(frozen_, position); });
    connect(frozen_, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        emit cellClicked(index.column(), model_->gridRow(index));
    });
    connect(frozen_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        emit cellDoubleClicked(index.column(), model_->gridRow(index));
    });
    connect(frozen_->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &StringGrid::onHeaderSectionClicked);
    connect(frozen_->verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(),
            &QAbstractSlider::setValue);
    connect(verticalScrollBar(), &QAbstractSlider::valueChanged, frozen_->verticalScrollBar(),
            &QAbstractSlider::setValue);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int size) {
                frozen_->setColumnWidth(column, size);
                placeFixedColumnView();
            });
    connect(verticalHeader(), &QHeaderView::sectionResized, this,
            [this](int row, int, int size) { frozen_->setRowHeight(row, size); });
}

void StringGrid::applyShape() {
    const bool titles = model_->fixedRows() > 0;
    horizontalHeader()->setHidden(!titles);
    if (frozen_) {
        frozen_->horizontalHeader()->setHidden(!titles);
    }
    applyVisibility();
}

void StringGrid::applyVisibility() {
    const int columns = model_->gridColumnCount();
    for (int c = 0; c < columns; ++c) {
        const bool hidden = model_->isColumnHidden(c);
        if (QTableView::isColumnHidden(c) != hidden) {
            QTableView::setColumnHidden(c, hidden);
        }
        if (frozen_) {
            const bool hiddenThere = hidden || c >= fixedColumns_;
            if (frozen_->isColumnHidden(c) != hiddenThere) {
                frozen_->setColumnHidden(c, hiddenThere);
            }
        }
    }
    const int first = model_->fixedRows();
    const int rows = model_->gridRowCount() - first;
    for (int r = 0; r < rows; ++r) {
        const bool hidden = model_->isRowHidden(r + first);
        if (QTableView::isRowHidden(r) != hidden) {
            QTableView::setRowHidden(r, hidden);
        }
        if (frozen_ && frozen_->isRowHidden(r) != hidden) {
            frozen_->setRowHidden(r, hidden);
        }
    }
    placeFixedColumnView();
}

int StringGrid::fixedColumnsWidth() const {
    int width = 0;
    const int last = std::min(fixedColumns_, model_->gridColumnCount());
    for (int c = 0; c < last; ++c) {
        if (!QTableView::isColumnHidden(c)) {
            width += columnWidth(c);
        }
    }
    return width;
}

void StringGrid::placeFixedColumnView() {
    if (!frozen_) {
        return;
    }
    const int width = fixedColumnsWidth();
    if (width <= 0) {
        frozen_->hide();
        return;
    }
    const bool titles = !horizontalHeader()->isHidden();
    const int titleHeight = titles ? horizontalHeader()->height() : 0;
    if (titles) {
        frozen_->horizontalHeader()->setFixedHeight(titleHeight);
    }
    const int left = frameWidth() + (verticalHeader()->isHidden() ? 0 : verticalHeader()->width());
    frozen_->setGeometry(left, frameWidth(), width, viewport()->height() + titleHeight);
    frozen_->verticalScrollBar()->setValue(verticalScrollBar()->value());
    frozen_->show();
}

void StringGrid::setDefaultRowHeight(int height) {
    for (QTableView* view : {static_cast<QTableView*>(this), frozen_}) {
        if (view) {
            QHeaderView* rows = view->verticalHeader();
            rows->setMinimumSectionSize(std::min(rows->minimumSectionSize(), height));
            rows->setDefaultSectionSize(height);
        }
    }
}

void StringGrid::setFixedSelectionColours(const QColor& background, const QColor& text) {
    fixedSelectionBackground_ = background;
    fixedSelectionText_ = text;
    applyFixedSelectionColours();
}

void StringGrid::applyFixedSelectionColours() {
    if (!frozen_) {
        return;
    }
    QPalette palette = frozen_->palette();
    if (fixedSelectionBackground_.isValid()) {
        palette.setColor(QPalette::Highlight, fixedSelectionBackground_);
    }
    if (fixedSelectionText_.isValid()) {
        palette.setColor(QPalette::HighlightedText, fixedSelectionText_);
    }
    frozen_->setPalette(palette);
}

void StringGrid::selectGridRow(int row) {
    const QModelIndex index = model_->indexOf(0, row);
    if (!index.isValid()) {
        clearSelection();
        return;
    }
    selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

int StringGrid::selectedGridRow() const {
    int top = -1;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        if (top < 0 || range.top() < top) {
            top = range.top();
        }
    }
    return top < 0 ? -1 : top + model_->fixedRows();
}

void StringGrid::setHeaderClickSorting(bool enabled) {
    headerClickSorting_ = enabled;
    horizontalHeader()->setSortIndicatorShown(enabled);
    if (frozen_) {
        frozen_->horizontalHeader()->setSortIndicatorShown(enabled);
    }
}

void StringGrid::setSortIndicator(int column, Qt::SortOrder order) {
    sortColumn_ = column;
    sortOrder_ = order;
    horizontalHeader()->setSortIndicator(column, order);
    if (frozen_) {
        frozen_->horizontalHeader()->setSortIndicator(column, order);
    }
}

void StringGrid::sortByHeaderClick(int column) {
    if (column < 0 || column >= model_->gridColumnCount()) {
        return;
    }
    const Qt::SortOrder order =
        column == sortColumn_
            ? (sortOrder_ == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder)
            : Qt::AscendingOrder;
    setSortIndicator(column, order);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    model_->sortRows(column, order);
    QApplication::restoreOverrideCursor();
}

void StringGrid::onHeaderSectionClicked(int column) {
    emit headerClicked(column);
    if (headerClickSorting_) {
        sortByHeaderClick(column);
    }
}

void StringGrid::onContextMenu(QTableView* view, const QPoint& position) {
    const QModelIndex index = view->indexAt(position);
    if (index.isValid()) {
        emit cellContextMenuRequested(index.column(), model_->gridRow(index),
                                      view->viewport()->mapToGlobal(position));
    }
}

QString StringGrid::selectionText() const {
    std::vector<int> rows;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        for (int r = range.top(); r <= range.bottom(); ++r) {
            rows.push_back(r);
        }
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QList<QStringList> lines;
    for (const int r : rows) {
        const int row = r + model_->fixedRows();
        if (model_->isRowHidden(row)) {
            continue;
        }
        QStringList texts;
        for (int c = 0; c < model_->gridColumnCount(); ++c) {
            if (!model_->isColumnHidden(c)) {
                texts.append(model_->text(c, row));
            }
        }
        lines.append(texts);
    }
    return composeDelimited(lines, u'\t', QStringLiteral("\n"));
}

void StringGrid::copySelection() {
    const QString text = selectionText();
    if (!text.isEmpty()) {
        QGuiApplication::clipboard()->setText(text);
    }
}

void StringGrid::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        copySelection();
        event->accept();
        return;
    }
    // A modifier alone is no key for the windows: Shift+F2 arrives once, as F2 with Shift.
    const int key = event->key();
    const bool modifierOnly = key == Qt::Key_Shift || key == Qt::Key_Control ||
                              key == Qt::Key_Alt || key == Qt::Key_Meta || key == Qt::Key_AltGr;
    const QModelIndex current = currentIndex();
    if (current.isValid() && !modifierOnly) {
        emit cellKeyPressed(current.column(), model_->gridRow(current), key, event->modifiers());
    }
    QTableView::keyPressEvent(event);
}

void StringGrid::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    placeFixedColumnView();
}

void StringGrid::updateGeometries() {
    QTableView::updateGeometries();
    placeFixedColumnView();
}

void StringGrid::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (!frozen_ || fixedColumns_ <= 0 || !index.isValid()) {
        QTableView::scrollTo(index, hint);
        return;
    }
    // A fixed cell is always in sight sideways: scroll only up or down to it. A scrolling cell
    // must not end up under the fixed columns.
    const int sideways = horizontalScrollBar()->value();
    QTableView::scrollTo(index, hint);
    if (index.column() < fixedColumns_) {
        horizontalScrollBar()->setValue(sideways);
        return;
    }
    const int left = visualRect(index).left();
    const int covered = fixedColumnsWidth();
    if (left < covered) {
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() - (covered - left));
    }
}
