#pragma once
// The string grid of the tool's windows: the installer's mask grid, the OBD window, the error log
// and the hidden grid the error-log export composes its file in.
//
// Numbers. A window counts cells as (column, row) over the whole grid, title rows and columns
// included, the way its tables are written: the mask grid's component names are column 0, rows 1
// to 26, its column titles row 0. The grid keeps those numbers:
// - the title row (at most one; every grid of the tool has one or none) is row 0 and is drawn as
//   the view's column header, so it stays on top while the rows scroll and a click on it sorts;
// - every other row r is row r - fixedRows() of the Qt model;
// - columns are the model's columns one to one. Fixed columns are the leftmost ones; the view
//   freezes them beside the scrolling part, so the error log's time stamps stay in sight while the
//   technician scrolls across its 40 columns.
// Hidden rows and columns keep their numbers: hiding row 2 leaves row 3 as row 3.
//
// Cost. The error log holds 1500 rows of 40 columns. Changes made inside a BulkUpdate emit one
// signal at its end (one dataChanged for cell texts, one model reset when rows or columns came or
// went), never one per cell; a sort computes one key per row, sorts one permutation and tells the
// view once (a layout change), so the selection follows its row.

#include <QAbstractTableModel>
#include <QByteArray>
#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTableView>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// How a column's cells compare when the operator sorts by it. In every kind, empty cells (blank or
// only spaces) go last whichever way the sort runs, so the rows with data stay on top.
enum class GridSortKind {
    // Case-insensitive, digit runs by their value: "(9) ..." before "(10) ...", "abc" next to
    // "ABC".
    Text,
    // A decimal number with '.' or ',' as its decimal point, surrounding blanks ignored ("-12",
    // "0,25"). A cell that is not a number ("N/A") goes after the numbers, as text.
    Number,
    // "h:mm" or "h:mm:ss" with any number of hour digits ("3:10    ", "100:00:00"). Other texts go
    // after the times, as text.
    Time,
    // The column's own key function (setColumnSortKey); a cell without a key goes after the keyed
    // ones, as text.
    Custom,
};

// A cell's text as a number or a time, as the sort reads it. Empty for texts that are none.
std::optional<double> gridNumberKey(const QString& text);
std::optional<double> gridTimeKey(const QString& text);
// < 0, 0 or > 0: the Text order above.
int gridTextCompare(const QString& a, const QString& b);

// Delimited text (CSV) as the grid writes and reads it. A cell that holds the separator, a double
// quote, a carriage return or a line feed is written in double quotes, its quotes doubled, so no
// cell ever splits or joins another; every line ends with `lineEnd`.
QString composeDelimited(const QList<QStringList>& rows, QChar separator,
                         const QString& lineEnd = QStringLiteral("\r\n"));

struct DelimitedParse {
    bool ok = false;
    QList<QStringList> rows;
    QString error;  // why the text was refused, for the operator
};
// Reads lines ended by CR LF, LF or CR (the end of the last line may be missing) and cells in the
// quoting above. Refused whole: an unterminated quoted cell, more than `maxRows` lines or more than
// `maxColumns` cells in a line.
DelimitedParse parseDelimited(QStringView text, QChar separator, int maxRows, int maxColumns);

struct DelimitedReadResult {
    bool ok = false;
    int rows = 0;     // grid rows now, title row included
    int columns = 0;  // grid columns now
    QString error;    // for the operator when !ok; the grid is then unchanged
};

class StringGridModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    // A file read into a grid is refused beyond these: a grid from a damaged or foreign file must
    // not take the machine's memory.
    static constexpr qint64 kMaxDelimitedBytes = 16 * 1024 * 1024;
    static constexpr int kMaxDelimitedRows = 100000;
    static constexpr int kMaxDelimitedColumns = 1024;

    // Which cells an export takes: the ones the operator sees, or all of them.
    enum class Cells { Visible, All };

    explicit StringGridModel(QObject* parent = nullptr);

    // -- Shape, in grid numbers --
    // 0 or 1 title rows (larger values count as 1). The title row is row 0 and stays in place when
    // the rows are sorted.
    void setFixedRows(int count);
    int fixedRows() const { return fixedRows_; }
    // Fixed columns are a property of the view (StringGrid::setFixedColumns); the model only
    // numbers them.
    void setGridSize(int columns, int rows);
    void setColumnCount(int columns);
    // Title rows included; never fewer rows than title rows. New rows are empty and shown.
    void setRowCount(int rows);
    int gridColumnCount() const { return columnCount_; }
    int gridRowCount() const { return static_cast<int>(rows_.size()); }
    bool isCell(int column, int row) const;

    // Rows inserted before `row` (row == gridRowCount() appends), empty and shown; rows removed
    // from `row` on. Title rows can be neither inserted nor removed.
    void insertGridRows(int row, int count);
    void removeGridRows(int row, int count);
    // Appends a row filled from `texts` (missing cells empty, extra texts dropped); returns its
    // row.
    int appendRow(const QStringList& texts);

    // -- Cells. Out-of-range numbers are ignored (and read as empty) --
    QString text(int column, int row) const;
    void setText(int column, int row, const QString& text);
    // Fills one row from `firstColumn` on: one change for the whole row.
    void setRowTexts(int row, const QStringList& texts, int firstColumn = 0);
    // Empties every cell below the title row: texts and their own alignment and colours. Rows
    // stay, hidden ones hidden.
    void clearData();

    // A cell's own formatting; where it has none it takes its column's, and where that has none
    // the view's (left-aligned, palette colours). An invalid colour or empty alignment removes the
    // cell's own. Changing a cell's text keeps its formatting, so a marked cell stays marked.
    void setAlignment(int column, int row, Qt::Alignment alignment);
    void setTextColour(int column, int row, const QColor& colour);
    void setBackgroundColour(int column, int row, const QColor& colour);
    // The formatting the cell is drawn with (invalid colour: the palette's).
    Qt::Alignment alignment(int column, int row) const;
    QColor textColour(int column, int row) const;
    QColor backgroundColour(int column, int row) const;
    // Column defaults for the cells below the title row that have none of their own.
    void setColumnAlignment(int column, Qt::Alignment alignment);
    void setColumnTextColour(int column, const QColor& colour);
    void setColumnBackgroundColour(int column, const QColor& colour);

    // -- Hidden rows and columns --
    void setRowHidden(int row, bool hidden);
    bool isRowHidden(int row) const;
    void setColumnHidden(int column, bool hidden);
    bool isColumnHidden(int column) const;
    int hiddenRowCount() const { return hiddenRows_; }
    // A row's position among the rows shown, counted from 0 at the top (the title row, when there
    // is one); -1 for a hidden row or a number outside the grid. And back.
    int displayedRow(int row) const;
    int rowAtDisplayedPosition(int position) const;

    // -- Sorting --
    void setColumnSortKind(int column, GridSortKind kind);
    // A Custom kind for the column with this key; an empty optional for a cell without one.
    void setColumnSortKey(int column, std::function<std::optional<double>(const QString&)> key);
    GridSortKind columnSortKind(int column) const;
    // Reorders the rows below the title row by `column`: equal cells keep their order, hidden rows
    // stay hidden and go with their data. Row numbers then count the new order.
    void sortRows(int column, Qt::SortOrder order);

    // -- Bulk changes --
    // While one is alive, changes emit nothing; its end emits one dataChanged over the changed
    // cells, one headerDataChanged over changed titles, or one model reset if rows or columns were
    // added or removed, and one visibilityChanged if rows or columns were hidden or shown.
    class BulkUpdate {
      public:
        explicit BulkUpdate(StringGridModel& model) : model_(model) { model_.beginBulk(); }
        ~BulkUpdate() { model_.endBulk(); }
        BulkUpdate(const BulkUpdate&) = delete;
        BulkUpdate& operator=(const BulkUpdate&) = delete;

      private:
        StringGridModel& model_;
    };

    // -- Export and import --
    // The cells as rows of texts, title row first, rows and columns in grid order; Visible leaves
    // out hidden rows and columns.
    QList<QStringList> rowsOfText(Cells which = Cells::Visible) const;
    // The same as UTF-8 strings, for the composers of the pump library.
    std::vector<std::vector<std::string>> visibleTable() const;
    QByteArray toDelimited(QChar separator, Cells which = Cells::Visible) const;
    // Writes a temporary file and renames it over `path`, so a failure leaves no half file.
    bool writeDelimitedFile(const QString& path, QChar separator, QString* error,
                            Cells which = Cells::Visible) const;
    // Replaces the grid's cells with a delimited text (UTF-8, a byte-order mark is skipped): its
    // first line becomes the title row when the grid has one, the grid takes as many rows as lines
    // (at least its title rows) and as many columns as the longest line. Cells lose their own
    // formatting and rows are shown again; column settings stay. A refused text changes nothing.
    DelimitedReadResult readDelimited(const QByteArray& bytes, QChar separator);
    DelimitedReadResult readDelimitedFile(const QString& path, QChar separator);

    // -- Between grid numbers and the Qt model --
    int gridRow(const QModelIndex& index) const;
    QModelIndex indexOf(int column, int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

  signals:
    // Rows or columns were hidden or shown.
    void visibilityChanged();

  private:
    struct Cell {
        QString text;
        QColor foreground;
        QColor background;
        Qt::Alignment alignment;
    };
    struct Row {
        std::vector<Cell> cells;
        bool hidden = false;
    };
    struct Column {
        GridSortKind sortKind = GridSortKind::Text;
        std::function<std::optional<double>(const QString&)> sortKey;
        Qt::Alignment alignment;
        QColor foreground;
        QColor background;
        bool hidden = false;
    };

    Row emptyRow() const;
    const Cell* cellAt(int column, int row) const;
    Cell* cellAt(int column, int row);
    QVariant cellData(int column, int row, int role) const;
    // Tells the views about a changed cell, now or at the end of the bulk change.
    void cellChanged(int column, int row);
    void rowChanged(int row, int firstColumn, int lastColumn);
    void visibilityTouched();
    // Before rows or columns come or go inside a bulk change: opens its model reset.
    bool structureInBulk();
    void beginBulk();
    void endBulk();

    std::vector<Row> rows_;
    std::vector<Column> columns_;
    int columnCount_ = 0;
    int fixedRows_ = 0;
    int hiddenRows_ = 0;

    int bulkDepth_ = 0;
    bool resetOpen_ = false;
    bool visibilityDirty_ = false;
    // Changed cells of the current bulk change, in model rows; first > last when none.
    int dirtyFirstRow_ = 1, dirtyLastRow_ = 0, dirtyFirstColumn_ = 1, dirtyLastColumn_ = 0;
    int dirtyFirstTitle_ = 1, dirtyLastTitle_ = 0;
};

// The view: a table over its own StringGridModel, with the title row as its column header, fixed
// columns frozen at the left, no editing and whole-row selection. Signals carry grid numbers.
class StringGrid : public QTableView {
    Q_OBJECT
  public:
    explicit StringGrid(QWidget* parent = nullptr);

    StringGridModel& cells() { return *model_; }
    const StringGridModel& cells() const { return *model_; }

    // What a screen reader calls the grid ("UDS error log"); its cells it reads from the model.
    void setCaption(const QString& caption);
    // The leftmost `count` columns stay in place when the grid scrolls sideways.
    void setFixedColumns(int count);
    int fixedColumns() const { return fixedColumns_; }
    void setDefaultRowHeight(int height);
    // The colours of the fixed cells of the selected row (the error log marks them like a tooltip).
    void setFixedSelectionColours(const QColor& background, const QColor& text);

    // Grid numbers, kept in the model (these hide QTableView's, which count model rows).
    void setRowHidden(int row, bool hidden) { model_->setRowHidden(row, hidden); }
    bool isRowHidden(int row) const { return model_->isRowHidden(row); }
    void setColumnHidden(int column, bool hidden) { model_->setColumnHidden(column, hidden); }
    bool isColumnHidden(int column) const { return model_->isColumnHidden(column); }

    // -- Selection --
    void selectGridRow(int row);
    // The selected row, -1 when none (the first one when several are selected).
    int selectedGridRow() const;

    // -- Sorting by a click on a column title --
    // On: the titles take clicks and show the sort indicator.
    void setHeaderClickSorting(bool enabled);
    bool headerClickSorting() const { return headerClickSorting_; }
    // Shows the indicator on `column` without sorting: the rows stay in their order until the
    // operator clicks a title.
    void setSortIndicator(int column, Qt::SortOrder order);
    int sortColumn() const { return sortColumn_; }
    Qt::SortOrder sortOrder() const { return sortOrder_; }
    // What a click on a title does: the indicator's column again reverses the order, another
    // column sorts ascending; the rows are sorted under a busy cursor.
    void sortByHeaderClick(int column);

    // -- Copying --
    // The selected rows' shown cells, tab-separated, one line each.
    QString selectionText() const;
    // Puts selectionText() on the clipboard (also Ctrl+C).
    void copySelection();

    // Brings a cell into sight without leaving it under the fixed columns.
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

    // The view that draws the fixed columns (null until there are any).
    QTableView* fixedColumnView() const { return frozen_; }

  signals:
    // Cells below the title row; clicks on a title arrive as headerClicked.
    void cellClicked(int column, int row);
    void cellDoubleClicked(int column, int row);
    // A key pressed while `column`, `row` is the current cell (before the grid moves its cursor);
    // modifier keys come with the key they modify, not on their own.
    void cellKeyPressed(int column, int row, int key, Qt::KeyboardModifiers modifiers);
    void cellContextMenuRequested(int column, int row, const QPoint& globalPosition);
    void headerClicked(int column);
    void currentGridRowChanged(int row);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void updateGeometries() override;

  private:
    void createFixedColumnView();
    void applyShape();
    void applyVisibility();
    void placeFixedColumnView();
    int fixedColumnsWidth() const;
    void onHeaderSectionClicked(int column);
    void onContextMenu(QTableView* view, const QPoint& position);
    void applyFixedSelectionColours();

    StringGridModel* model_;
    QTableView* frozen_ = nullptr;
    int fixedColumns_ = 0;
    QColor fixedSelectionBackground_;
    QColor fixedSelectionText_;
    bool headerClickSorting_ = false;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};
