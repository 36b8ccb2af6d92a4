// The string grid of the mask, OBD and error-log windows: cells addressed as those windows count
// them, formatting through the model's roles, hidden rows, sorting by kind, bulk changes without a
// signal per cell, the cell events, copying and the delimited files.

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "app/string_grid.h"

namespace {

// Every signal of the model that makes a view do work.
struct SignalCounts {
    int dataChanged = 0;
    int headerDataChanged = 0;
    int modelReset = 0;
    int rowsInserted = 0;
    int rowsRemoved = 0;
    int columnsInserted = 0;
    int layoutChanged = 0;
    QModelIndex lastTopLeft;
    QModelIndex lastBottomRight;

    explicit SignalCounts(StringGridModel& m) {
        QObject::connect(&m, &QAbstractItemModel::dataChanged,
                         [this](const QModelIndex& tl, const QModelIndex& br) {
                             ++dataChanged;
                             lastTopLeft = tl;
                             lastBottomRight = br;
                         });
        QObject::connect(&m, &QAbstractItemModel::headerDataChanged,
                         [this] { ++headerDataChanged; });
        QObject::connect(&m, &QAbstractItemModel::modelReset, [this] { ++modelReset; });
        QObject::connect(&m, &QAbstractItemModel::rowsInserted, [this] { ++rowsInserted; });
        QObject::connect(&m, &QAbstractItemModel::rowsRemoved, [this] { ++rowsRemoved; });
        QObject::connect(&m, &QAbstractItemModel::columnsInserted, [this] { ++columnsInserted; });
        QObject::connect(&m, &QAbstractItemModel::layoutChanged, [this] { ++layoutChanged; });
    }
    int total() const {
        return dataChanged + headerDataChanged + modelReset + rowsInserted + rowsRemoved +
               columnsInserted + layoutChanged;
    }
};

// The texts of one column below the title row, top to bottom.
QStringList columnTexts(const StringGridModel& m, int column) {
    QStringList out;
    for (int r = m.fixedRows(); r < m.gridRowCount(); ++r) {
        out << m.text(column, r);
    }
    return out;
}

// A grid shaped like the installer's mask grid: a title row, the names in column 0.
void buildMaskGrid(StringGridModel& m) {
    m.setFixedRows(1);
    m.setGridSize(5, 27);
    const QStringList titles = {"", "Turn ON MI Lamp", "Turn Off MI Lamp", "Action on OBD",
                                "Air Unit ON if OBD"};
    m.setRowTexts(0, titles);
    for (int r = 1; r < 27; ++r) {
        m.setText(0, r, QString("component %1").arg(r));
    }
}

TEST(StringGridModel, CellsAndTitlesReachTheViewThroughTheRoles) {
    StringGridModel m;
    buildMaskGrid(m);
    m.setText(2, 3, "SEQ");
    m.setTextColour(0, 0, Qt::red);
    m.setAlignment(0, 0, Qt::AlignRight);
    m.setColumnAlignment(0, Qt::AlignRight);
    m.setColumnTextColour(0, QColor("navy"));
    m.setColumnBackgroundColour(1, Qt::lightGray);
    m.setBackgroundColour(1, 5, Qt::yellow);  // a cell's own colour wins over its column's
    m.setTextColour(2, 3, Qt::darkRed);

    const auto brush = [](const QColor& c) { return QVariant(QBrush(c)); };
    const int leftMiddle = static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter);
    const int rightMiddle = static_cast<int>(Qt::AlignRight | Qt::AlignVCenter);
    struct Case {
        const char* what;
        int column, row, role;
        QVariant expected;
    };
    const Case cases[] = {
        {"cell text", 2, 3, Qt::DisplayRole, QString("SEQ")},
        {"screen reader text", 2, 3, Qt::AccessibleTextRole, QString("SEQ")},
        {"own text colour", 2, 3, Qt::ForegroundRole, brush(Qt::darkRed)},
        {"default alignment", 2, 3, Qt::TextAlignmentRole, leftMiddle},
        {"no background by default", 2, 3, Qt::BackgroundRole, QVariant()},
        {"column alignment", 0, 7, Qt::TextAlignmentRole, rightMiddle},
        {"column text colour", 0, 7, Qt::ForegroundRole, brush(QColor("navy"))},
        {"column background", 1, 4, Qt::BackgroundRole, brush(Qt::lightGray)},
        {"own background over column's", 1, 5, Qt::BackgroundRole, brush(Qt::yellow)},
        {"title text", 1, 0, Qt::DisplayRole, QString("Turn ON MI Lamp")},
        {"title colour", 0, 0, Qt::ForegroundRole, brush(Qt::red)},
        {"title alignment", 0, 0, Qt::TextAlignmentRole, rightMiddle},
        {"column defaults stay off the title", 1, 0, Qt::BackgroundRole, QVariant()},
    };
    for (const Case& c : cases) {
        const QVariant got = c.row == 0 ? m.headerData(c.column, Qt::Horizontal, c.role)
                                        : m.data(m.index(c.row - 1, c.column), c.role);
        EXPECT_EQ(got, c.expected) << c.what;
    }
    EXPECT_EQ(m.textColour(0, 7), QColor("navy"));
    EXPECT_EQ(m.backgroundColour(1, 5), QColor(Qt::yellow));
    EXPECT_FALSE(m.textColour(4, 9).isValid());
    EXPECT_FALSE(m.flags(m.index(0, 0)) & Qt::ItemIsEditable);
}

TEST(StringGridModel, GridNumbersCountTheTitleRow) {
    StringGridModel m;
    buildMaskGrid(m);
    EXPECT_EQ(m.rowCount(), 26);
    EXPECT_EQ(m.data(m.index(0, 0)).toString(), "component 1") << "row 1 is the first model row";
    EXPECT_EQ(m.gridRow(m.index(25, 0)), 26);
    EXPECT_EQ(m.indexOf(3, 26), m.index(25, 3));
    EXPECT_FALSE(m.indexOf(3, 0).isValid()) << "the title row is the header, not a cell";

    // Numbers outside the grid are ignored and read as empty.
    SignalCounts counts(m);
    m.setText(5, 1, "x");
    m.setText(0, 27, "x");
    m.setText(-1, 3, "x");
    m.setBackgroundColour(0, 99, Qt::red);
    EXPECT_EQ(counts.total(), 0);
    EXPECT_EQ(m.text(5, 1), "");
    EXPECT_EQ(m.text(0, -1), "");

    // Without a title row, row 0 is a cell.
    StringGridModel plain;
    plain.setGridSize(2, 3);
    plain.setText(1, 0, "first");
    EXPECT_EQ(plain.data(plain.index(0, 1)).toString(), "first");
    EXPECT_EQ(plain.headerData(1, Qt::Horizontal), QVariant());
}

TEST(StringGridModel, HiddenRowsKeepTheirNumbers) {
    // The OBD window: rows 2 and 4 always hidden, 25 and 26 until the pump is new enough.
    StringGrid grid;
    StringGridModel& m = grid.cells();
    m.setFixedRows(1);
    m.setGridSize(3, 27);
    for (const int row : {2, 4, 25, 26}) {
        grid.setRowHidden(row, true);
    }
    m.setText(2, 3, "No problem");
    m.setText(2, 5, "Shorted high");

    EXPECT_EQ(m.text(2, 3), "No problem");
    EXPECT_EQ(m.data(m.index(2, 2)).toString(), "No problem") << "row 3 is still model row 2";
    EXPECT_TRUE(grid.isRowHidden(2));
    EXPECT_FALSE(grid.isRowHidden(3));
    // The view hides the same rows (model rows are grid rows - 1).
    const QTableView& view = grid;
    EXPECT_TRUE(view.isRowHidden(1));
    EXPECT_TRUE(view.isRowHidden(3));
    EXPECT_FALSE(view.isRowHidden(2));
    EXPECT_TRUE(view.isRowHidden(25));

    // Row number to displayed position and back: title row 0, row 1, then row 3.
    struct Case {
        int row, position;
    };
    for (const Case c : {Case{0, 0}, Case{1, 1}, Case{3, 2}, Case{5, 3}, Case{24, 22}}) {
        EXPECT_EQ(m.displayedRow(c.row), c.position) << "row " << c.row;
        EXPECT_EQ(m.rowAtDisplayedPosition(c.position), c.row) << "position " << c.position;
    }
    for (const int hidden : {2, 4, 25, 26, 27, -1}) {
        EXPECT_EQ(m.displayedRow(hidden), -1) << "row " << hidden;
    }
    EXPECT_EQ(m.rowAtDisplayedPosition(23), -1);

    // The visible cells leave the hidden rows out; all cells keep them.
    EXPECT_EQ(m.rowsOfText().size(), 23);
    EXPECT_EQ(m.rowsOfText(StringGridModel::Cells::All).size(), 27);

    // The version rule shows rows 25 and 26 later.
    grid.setRowHidden(25, false);
    grid.setRowHidden(26, false);
    EXPECT_FALSE(view.isRowHidden(24));
    EXPECT_FALSE(view.isRowHidden(25));
    EXPECT_EQ(m.hiddenRowCount(), 2);

    // A title row cannot be hidden: it is the header.
    grid.setRowHidden(0, true);
    EXPECT_FALSE(grid.isRowHidden(0));
}

TEST(StringGridModel, AMarkedCellKeepsItsMarkWhenItsTextChanges) {
    StringGridModel m;
    m.setFixedRows(1);
    m.setGridSize(3, 27);
    m.setBackgroundColour(2, 9, QColor("#ffffe1"));
    m.setText(2, 9, "Open load");
    m.setText(2, 9, "No problem");
    EXPECT_EQ(m.backgroundColour(2, 9), QColor("#ffffe1"));

    // A clear empties texts and formatting but keeps rows and their hidden state.
    m.setRowHidden(4, true);
    m.clearData();
    EXPECT_EQ(m.text(2, 9), "");
    EXPECT_FALSE(m.backgroundColour(2, 9).isValid());
    EXPECT_EQ(m.gridRowCount(), 27);
    EXPECT_TRUE(m.isRowHidden(4));
}

// -- Sorting --

struct SortCase {
    const char* what;
    GridSortKind kind;
    QStringList cells;
    QStringList ascending;
    QStringList descending;
};

std::optional<double> hexKey(const QString& text) {
    bool ok = false;
    const uint value = text.trimmed().toUInt(&ok, 16);
    return ok ? std::optional<double>(value) : std::nullopt;
}

TEST(StringGridModel, SortsEachKindWithEmptyCellsLast) {
    const SortCase cases[] = {
        {"numbers, either decimal point, not-a-number after them",
         GridSortKind::Number,
         {"10", "9", "-1.5", "", "0,25", "N/A", "  ", "100"},
         {"-1.5", "0,25", "9", "10", "100", "N/A", "", "  "},
         {"100", "10", "9", "0,25", "-1.5", "N/A", "", "  "}},
        {"error times hh:mm:ss, hours of any length",
         GridSortKind::Time,
         {"01:02:05", "100:00:00", "00:59:59", "", "9:00:00", "broken"},
         {"00:59:59", "01:02:05", "9:00:00", "100:00:00", "broken", ""},
         {"100:00:00", "9:00:00", "01:02:05", "00:59:59", "broken", ""}},
        {"time stamps h:mm with trailing blanks",
         GridSortKind::Time,
         {"3:10    ", "12:04    ", "0:02    ", "25:00    ", "3:09    "},
         {"0:02    ", "3:09    ", "3:10    ", "12:04    ", "25:00    "},
         {"25:00    ", "12:04    ", "3:10    ", "3:09    ", "0:02    "}},
        {"text: case-insensitive, digit runs by value, equal texts keep their order",
         GridSortKind::Text,
         {"(10) Nozzle", "(100) Invalid index", "abc", "", "ABD", "(05) Dosing valve", "Abc",
          "(27) Invalid index"},
         {"(05) Dosing valve", "(10) Nozzle", "(27) Invalid index", "(100) Invalid index", "abc",
          "Abc", "ABD", ""},
         {"ABD", "abc", "Abc", "(100) Invalid index", "(27) Invalid index", "(10) Nozzle",
          "(05) Dosing valve", ""}},
        {"a column's own key",
         GridSortKind::Custom,
         {"1F", "zz", "A", "", "100"},
         {"A", "1F", "100", "zz", ""},
         {"100", "1F", "A", "zz", ""}},
    };
    for (const SortCase& c : cases) {
        for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            StringGridModel m;
            m.setFixedRows(1);
            m.setGridSize(2, c.cells.size() + 1);
            m.setRowTexts(0, {"value", "tag"});
            for (int i = 0; i < c.cells.size(); ++i) {
                m.setRowTexts(i + 1, {c.cells[i], QString::number(i)});
            }
            if (c.kind == GridSortKind::Custom) {
                m.setColumnSortKey(0, hexKey);
            } else {
                m.setColumnSortKind(0, c.kind);
            }
            m.sortRows(0, order);

            const bool up = order == Qt::AscendingOrder;
            EXPECT_EQ(columnTexts(m, 0), up ? c.ascending : c.descending)
                << c.what << (up ? ", ascending" : ", descending");
            // Whole rows move: each row's tag still names its own cell.
            for (int r = 1; r < m.gridRowCount(); ++r) {
                EXPECT_EQ(c.cells[m.text(1, r).toInt()], m.text(0, r)) << c.what << " row " << r;
            }
            EXPECT_EQ(m.text(0, 0), "value") << "the title row stays on top";
        }
    }
}

TEST(StringGridModel, SortKeysOfSingleCells) {
    struct Case {
        const char* text;
        std::optional<double> number;
        std::optional<double> time;
    };
    const Case cases[] = {
        {"1000", 1000, std::nullopt},
        {" -12 ", -12, std::nullopt},
        {"+7", 7, std::nullopt},
        {"0,25", 0.25, std::nullopt},
        {"1.5.3", std::nullopt, std::nullopt},
        {"1e5", std::nullopt, std::nullopt},
        {"-", std::nullopt, std::nullopt},
        {"3:10    ", std::nullopt, 3 * 3600 + 10 * 60},
        {"01:02:05", std::nullopt, 3725},
        {"100:00:00", std::nullopt, 360000},
        {"1:2:3:4", std::nullopt, std::nullopt},
        {"1::3", std::nullopt, std::nullopt},
        {"a:bc", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(gridNumberKey(c.text), c.number) << c.text;
        EXPECT_EQ(gridTimeKey(c.text), c.time) << c.text;
    }
    EXPECT_LT(gridTextCompare("Item 9", "item 10"), 0);
    EXPECT_EQ(gridTextCompare("ABC", "abc"), 0);
    EXPECT_GT(gridTextCompare("b", "a1"), 0);
}

TEST(StringGridModel, HiddenRowsGoWithTheirDataWhenSorted) {
    StringGrid grid;
    StringGridModel& m = grid.cells();
    m.setFixedRows(1);
    m.setGridSize(1, 5);
    m.setRowTexts(0, {"name"});
    const QStringList names = {"d", "b", "c", "a"};
    for (int i = 0; i < names.size(); ++i) {
        m.setText(0, i + 1, names[i]);
    }
    grid.setRowHidden(2, true);  // "b"
    m.sortRows(0, Qt::AscendingOrder);
    EXPECT_EQ(columnTexts(m, 0), QStringList({"a", "b", "c", "d"}));
    EXPECT_TRUE(m.isRowHidden(2)) << "\"b\" is now row 2 and still hidden";
    EXPECT_FALSE(m.isRowHidden(4));
    const QTableView& view = grid;
    EXPECT_TRUE(view.isRowHidden(1));
    EXPECT_FALSE(view.isRowHidden(3));
}

// -- The view --

// A grid on screen (offscreen platform), so that clicks land on cells.
struct ShownGrid {
    StringGrid grid;
    ShownGrid(int columns, int rows) {
        StringGridModel& m = grid.cells();
        m.setFixedRows(1);
        m.setGridSize(columns, rows);
        for (int c = 0; c < columns; ++c) {
            m.setText(c, 0, QString("title %1").arg(c));
            for (int r = 1; r < rows; ++r) {
                m.setText(c, r, QString("%1/%2").arg(c).arg(r));
            }
        }
        grid.resize(500, 300);
        grid.show();
        QCoreApplication::processEvents();
    }
    QPoint centre(int column, int row) const {
        return grid.visualRect(grid.cells().indexOf(column, row)).center();
    }
    void clickTitle(int column) {
        QHeaderView* header = grid.horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
};

TEST(StringGrid, TitleClicksSortByKindAndShowTheIndicator) {
    ShownGrid shown(3, 5);
    StringGrid& grid = shown.grid;
    StringGridModel& m = grid.cells();
    const QStringList values = {"10", "9", "", "100"};
    for (int i = 0; i < values.size(); ++i) {
        m.setText(1, i + 1, values[i]);
        m.setText(2, i + 1, QString("row %1").arg(i + 1));
    }
    m.setColumnSortKind(1, GridSortKind::Number);
    grid.setHeaderClickSorting(true);
    QSignalSpy titleClicks(&grid, &StringGrid::headerClicked);

    // The error log starts with the indicator shown, without sorting its rows.
    grid.setSortIndicator(1, Qt::DescendingOrder);
    EXPECT_EQ(columnTexts(m, 1), values);
    QHeaderView* header = grid.horizontalHeader();
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), 1);

    struct Step {
        int column;
        Qt::SortOrder order;
        QStringList column1;
    };
    const Step steps[] = {
        {1, Qt::AscendingOrder, {"9", "10", "100", ""}},   // the indicator's column reverses
        {1, Qt::DescendingOrder, {"100", "10", "9", ""}},  // and again
        {2, Qt::AscendingOrder, {"10", "9", "", "100"}},   // another column starts ascending
    };
    for (const Step& s : steps) {
        shown.clickTitle(s.column);
        EXPECT_EQ(header->sortIndicatorSection(), s.column);
        EXPECT_EQ(header->sortIndicatorOrder(), s.order);
        EXPECT_EQ(grid.sortColumn(), s.column);
        EXPECT_EQ(grid.sortOrder(), s.order);
        EXPECT_EQ(columnTexts(m, 1), s.column1) << "after a click on column " << s.column;
    }
    ASSERT_EQ(titleClicks.size(), 3);
    EXPECT_EQ(titleClicks[2][0].toInt(), 2);

    // Without title sorting (the OBD window) a click only reports itself.
    grid.setHeaderClickSorting(false);
    shown.clickTitle(1);
    EXPECT_EQ(columnTexts(m, 1), steps[2].column1);
    EXPECT_EQ(titleClicks.size(), 4);
    EXPECT_FALSE(header->isSortIndicatorShown());
}

TEST(StringGrid, FillsAndSorts1500RowsOf40ColumnsWithoutASignalPerCell) {
    StringGrid grid;
    StringGridModel& m = grid.cells();
    m.setFixedRows(1);
    grid.resize(800, 600);
    grid.show();
    QCoreApplication::processEvents();
    SignalCounts counts(m);

    // Deterministic but shuffled numbers, and times, in columns 3 and 2.
    uint32_t seed = 12345;
    const auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    {
        StringGridModel::BulkUpdate bulk(m);
        m.setGridSize(40, 1501);
        for (int c = 0; c < 40; ++c) {
            m.setText(c, 0, QString("column %1").arg(c));
        }
        for (int r = 1; r <= 1500; ++r) {
            for (int c = 0; c < 40; ++c) {
                m.setText(c, r, QString("r%1c%2").arg(r).arg(c));
            }
            m.setText(3, r, QString::number(static_cast<int>(next() % 100000) - 50000));
            const uint32_t s = next() % 360000;
            m.setText(2, r,
                      QString("%1:%2:%3")
                          .arg(s / 3600, 2, 10, QChar('0'))
                          .arg(s / 60 % 60, 2, 10, QChar('0'))
                          .arg(s % 60, 2, 10, QChar('0')));
        }
    }
    EXPECT_EQ(counts.modelReset, 1) << "rows and columns came: one reset";
    EXPECT_EQ(counts.total(), 1);
    EXPECT_EQ(grid.model()->rowCount(), 1500);

    // Rewriting every cell of a grid of that size is one change over all of it.
    int changes = 0;
    QModelIndex topLeft, bottomRight;
    QObject::connect(&m, &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex& tl, const QModelIndex& br) {
                         ++changes;
                         topLeft = tl;
                         bottomRight = br;
                     });
    {
        StringGridModel::BulkUpdate bulk(m);
        for (int r = 1; r <= 1500; ++r) {
            m.setText(39, r, QString("again %1").arg(r));
            m.setText(0, r, QString::number(r));
        }
    }
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(topLeft, m.index(0, 0));
    EXPECT_EQ(bottomRight, m.index(1499, 39));

    // The operator has row 700 selected; a click on the numbers' title sorts them.
    grid.selectGridRow(700);
    const QString selectedValue = m.text(0, 700);
    changes = 0;
    int layouts = 0;
    int resets = 0;
    QObject::connect(&m, &QAbstractItemModel::layoutChanged, [&] { ++layouts; });
    QObject::connect(&m, &QAbstractItemModel::modelReset, [&] { ++resets; });
    m.setColumnSortKind(3, GridSortKind::Number);
    QElapsedTimer clock;
    clock.start();
    grid.sortByHeaderClick(3);
    const qint64 elapsedMs = clock.elapsed();
    EXPECT_LT(elapsedMs, 50);
    EXPECT_EQ(layouts, 1);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(resets, 0);
    for (int r = 2; r <= 1500; ++r) {
        ASSERT_LE(m.text(3, r - 1).toInt(), m.text(3, r).toInt()) << "row " << r;
    }
    ASSERT_GE(grid.selectedGridRow(), 1);
    EXPECT_EQ(m.text(0, grid.selectedGridRow()), selectedValue) << "the selection follows its row";

    // Times sort as times, descending on the second click.
    m.setColumnSortKind(2, GridSortKind::Time);
    grid.sortByHeaderClick(2);
    grid.sortByHeaderClick(2);
    for (int r = 2; r <= 1500; ++r) {
        ASSERT_GE(*gridTimeKey(m.text(2, r - 1)), *gridTimeKey(m.text(2, r))) << "row " << r;
    }

    // A clear of the error log is one change too; a record added after it one insertion.
    changes = 0;
    m.clearData();
    EXPECT_EQ(changes, 1);
    QSignalSpy inserted(&m, &QAbstractItemModel::rowsInserted);
    EXPECT_EQ(m.appendRow({"3:10    ", "(05) Dosing valve"}), 1501);
    EXPECT_EQ(inserted.size(), 1);
    EXPECT_EQ(m.text(1, 1501), "(05) Dosing valve");
}

TEST(StringGrid, CellEventsCarryTheGridNumbers) {
    ShownGrid shown(3, 6);
    StringGrid& grid = shown.grid;
    QSignalSpy clicks(&grid, &StringGrid::cellClicked);
    QSignalSpy doubleClicks(&grid, &StringGrid::cellDoubleClicked);
    QSignalSpy keys(&grid, &StringGrid::cellKeyPressed);
    QSignalSpy menus(&grid, &StringGrid::cellContextMenuRequested);
    QSignalSpy currentRows(&grid, &StringGrid::currentGridRowChanged);

    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, shown.centre(2, 3));
    ASSERT_EQ(clicks.size(), 1);
    EXPECT_EQ(clicks[0][0].toInt(), 2);
    EXPECT_EQ(clicks[0][1].toInt(), 3);
    EXPECT_EQ(grid.selectedGridRow(), 3) << "a press selects the row";
    ASSERT_FALSE(currentRows.isEmpty());
    EXPECT_EQ(currentRows.last()[0].toInt(), 3);

    // A double click arrives as a click, then the double click on the same cell.
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, shown.centre(1, 4));
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, shown.centre(1, 4));
    ASSERT_EQ(doubleClicks.size(), 1);
    EXPECT_EQ(doubleClicks[0][0].toInt(), 1);
    EXPECT_EQ(doubleClicks[0][1].toInt(), 4);

    grid.setCurrentIndex(grid.cells().indexOf(1, 2));
    QTest::keyClick(&grid, Qt::Key_Space, Qt::ShiftModifier);
    ASSERT_EQ(keys.size(), 1);
    EXPECT_EQ(keys[0][0].toInt(), 1);
    EXPECT_EQ(keys[0][1].toInt(), 2);
    EXPECT_EQ(keys[0][2].toInt(), Qt::Key_Space);
    EXPECT_EQ(keys[0][3].value<Qt::KeyboardModifiers>(), Qt::ShiftModifier);

    const QPoint at = shown.centre(0, 5);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at, grid.viewport()->mapToGlobal(at));
    QApplication::sendEvent(grid.viewport(), &menu);
    ASSERT_EQ(menus.size(), 1);
    EXPECT_EQ(menus[0][0].toInt(), 0);
    EXPECT_EQ(menus[0][1].toInt(), 5);
    EXPECT_EQ(menus[0][2].toPoint(), grid.viewport()->mapToGlobal(at));

    // A click on a fixed column lands on the frozen view and reports the same numbers.
    grid.setFixedColumns(1);
    QCoreApplication::processEvents();
    QTableView* fixed = grid.fixedColumnView();
    ASSERT_NE(fixed, nullptr);
    const QPoint fixedAt = fixed->visualRect(grid.cells().indexOf(0, 2)).center();
    QTest::mouseClick(fixed->viewport(), Qt::LeftButton, {}, fixedAt);
    ASSERT_EQ(clicks.size(), 3);
    EXPECT_EQ(clicks[2][0].toInt(), 0);
    EXPECT_EQ(clicks[2][1].toInt(), 2);
    EXPECT_EQ(grid.selectedGridRow(), 2) << "both views share one selection";
}

TEST(StringGrid, FixedColumnsStayWhenTheGridScrollsSideways) {
    ShownGrid shown(40, 30);
    StringGrid& grid = shown.grid;
    for (int c = 0; c < 40; ++c) {
        grid.setColumnWidth(c, 90);
    }
    grid.setColumnWidth(0, 120);
    grid.setFixedColumns(1);
    grid.setRowHidden(3, true);
    QCoreApplication::processEvents();

    QTableView* fixed = grid.fixedColumnView();
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->selectionModel(), grid.selectionModel());
    EXPECT_EQ(fixed->width(), 120);
    EXPECT_FALSE(fixed->isColumnHidden(0));
    EXPECT_TRUE(fixed->isColumnHidden(1));
    EXPECT_TRUE(fixed->isColumnHidden(39));
    EXPECT_TRUE(fixed->isRowHidden(2)) << "hidden rows are hidden in both views";

    // Far to the right, a cell of column 1 brought into view is not left under column 0.
    grid.scrollTo(grid.cells().indexOf(39, 1));
    ASSERT_GT(grid.horizontalScrollBar()->value(), 0);
    grid.scrollTo(grid.cells().indexOf(1, 1));
    EXPECT_GE(grid.visualRect(grid.cells().indexOf(1, 1)).left(), 120);
    EXPECT_EQ(fixed->visualRect(grid.cells().indexOf(0, 1)).left(), 0);

    // Scrolling down moves both views together.
    grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum());
    EXPECT_EQ(fixed->verticalScrollBar()->value(), grid.verticalScrollBar()->value());

    // A wider fixed column widens the frozen part.
    grid.setColumnWidth(0, 150);
    EXPECT_EQ(fixed->width(), 150);
    EXPECT_EQ(fixed->columnWidth(0), 150);
}

TEST(StringGrid, CopiesTheSelectedRowsShownCells) {
    ShownGrid shown(4, 5);
    StringGrid& grid = shown.grid;
    StringGridModel& m = grid.cells();
    m.setRowTexts(2, {"3:10    ", "(05) Dosing valve", "a\tb", "hidden"});
    grid.setColumnHidden(3, true);
    grid.selectGridRow(2);
    EXPECT_EQ(grid.selectionText(), "3:10    \t(05) Dosing valve\t\"a\tb\"\n");

    QApplication::clipboard()->clear();
    QTest::keyClick(&grid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), grid.selectionText());
}

TEST(StringGrid, ScreenReadersGetTheCaptionAndTheCellsFromTheModel) {
    ShownGrid shown(3, 4);
    StringGrid& grid = shown.grid;
    grid.setCaption("UDS error log");
    grid.cells().setText(2, 3, "Shorted high");
    EXPECT_EQ(grid.accessibleName(), "UDS error log");

    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&grid);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->text(QAccessible::Name), "UDS error log");
    ASSERT_NE(table->tableInterface(), nullptr);
    QAccessibleInterface* cell = table->tableInterface()->cellAt(2, 2);  // model row 2 = row 3
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->text(QAccessible::Name), "Shorted high");
}

// -- Delimited files --

// A grid with the cells that break naive CSV.
void fillAwkwardCells(StringGridModel& m) {
    m.setFixedRows(1);
    m.setGridSize(4, 4);
    m.setRowTexts(0, {"Time stamp [hh:mm]", "Error name    ", "NOx, ppm", "Note"});
    m.setRowTexts(1, {"3:10    ", "(05) Dosing valve", "1,5", "say \"hi\""});
    m.setRowTexts(2, {"", "two\nlines", "a;b", "tab\there"});
    m.setRowTexts(3, {"100:00:00", "crlf\r\nend", "Ölstand", ""});
}

TEST(StringGridModel, DelimitedTextRoundTripsWithEverySeparator) {
    for (const QChar separator : {u',', u';', u' ', u'\t'}) {
        StringGridModel written;
        fillAwkwardCells(written);
        const QByteArray bytes = written.toDelimited(separator, StringGridModel::Cells::All);

        StringGridModel read;
        read.setFixedRows(1);
        const DelimitedReadResult result = read.readDelimited(bytes, separator);
        ASSERT_TRUE(result.ok) << result.error.toStdString();
        EXPECT_EQ(result.rows, 4);
        EXPECT_EQ(result.columns, 4);
        EXPECT_EQ(read.rowsOfText(StringGridModel::Cells::All),
                  written.rowsOfText(StringGridModel::Cells::All))
            << "separator '" << QString(separator).toStdString() << "'";
        EXPECT_EQ(read.headerData(2, Qt::Horizontal).toString(), "NOx, ppm")
            << "the first line is the title row again";
    }
}

TEST(StringGridModel, WritesTheShownCellsAsDelimitedBytes) {
    StringGridModel m;
    m.setFixedRows(1);
    m.setGridSize(4, 4);
    m.setRowTexts(0, {"Time stamp [hh:mm]", "Error name    ", "Urea tank temp [C]  ", "NOx, ppm"});
    m.setRowTexts(1, {"3:10    ", "(05) Dosing valve", "N/A", "1,5"});
    m.setRowTexts(2, {"hidden", "row", "", ""});
    m.setRowTexts(3, {"", "say \"hi\"", "N/A", ""});
    m.setColumnHidden(2, true);
    m.setRowHidden(2, true);

    struct Case {
        QChar separator;
        QByteArray expected;
    };
    const Case cases[] = {
        {u',',
         "Time stamp [hh:mm],Error name    ,\"NOx, ppm\"\r\n"
         "3:10    ,(05) Dosing valve,\"1,5\"\r\n"
         ",\"say \"\"hi\"\"\",\r\n"},
        {u';',
         "Time stamp [hh:mm];Error name    ;NOx, ppm\r\n"
         "3:10    ;(05) Dosing valve;1,5\r\n"
         ";\"say \"\"hi\"\"\";\r\n"},
        {u' ',
         "\"Time stamp [hh:mm]\" \"Error name    \" \"NOx, ppm\"\r\n"
         "\"3:10    \" \"(05) Dosing valve\" 1,5\r\n"
         " \"say \"\"hi\"\"\" \r\n"},
        {u'\t',
         "Time stamp [hh:mm]\tError name    \tNOx, ppm\r\n"
         "3:10    \t(05) Dosing valve\t1,5\r\n"
         "\t\"say \"\"hi\"\"\"\t\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(m.toDelimited(c.separator), c.expected)
            << "separator '" << QString(c.separator).toStdString() << "'";
    }
    // All cells: the hidden row and column too.
    EXPECT_EQ(m.toDelimited(u';', StringGridModel::Cells::All).split('\n').size(), 5);
    EXPECT_TRUE(
        m.toDelimited(u';', StringGridModel::Cells::All)
            .startsWith("Time stamp [hh:mm];Error name    ;Urea tank temp [C]  ;NOx, ppm\r\n"));

    // The pump library's composers take the shown cells as UTF-8 rows.
    const std::vector<std::vector<std::string>> table = m.visibleTable();
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[1], (std::vector<std::string>{"3:10    ", "(05) Dosing valve", "1,5"}));
}

TEST(StringGridModel, ReadsDelimitedTextOrRefusesItWhole) {
    using Rows = QList<QStringList>;
    struct Case {
        const char* what;
        QByteArray bytes;
        QChar separator;
        bool ok;
        Rows rows;
    };
    const Case cases[] = {
        {"LF line ends", "a,b\nc,d\n", u',', true, Rows{{"a", "b"}, {"c", "d"}}},
        {"CR line ends", "a;b\rc;d\r", u';', true, Rows{{"a", "b"}, {"c", "d"}}},
        {"no end on the last line", "a,b\r\nc", u',', true, Rows{{"a", "b"}, {"c", ""}}},
        {"byte-order mark",
         "\xEF\xBB\xBF"
         "x,y\r\n",
         u',', true, Rows{{"x", "y"}}},
        {"separator at the very end", "a,", u',', true, Rows{{"a", ""}}},
        {"empty lines keep their place", "a\n\nb\n", u',', true, Rows{{"a"}, {""}, {"b"}}},
        {"line end inside quotes", "\"x\r\ny\",z\n", u',', true, Rows{{"x\r\ny", "z"}}},
        {"text after a closing quote", "\"ab\"c,d\n", u',', true, Rows{{"abc", "d"}}},
        {"quote inside a plain cell", "a\"b,c\n", u',', true, Rows{{"a\"b", "c"}}},
        {"UTF-8",
         "\xC3\x96lstand\t\xC2\xB0"
         "C\n",
         u'\t', true, Rows{{"Ölstand", "°C"}}},
        {"empty file", "", u',', true, Rows{}},
        {"unterminated quote", "a,b\n\"c,d\n", u',', false, Rows{}},
        {"too many cells in a line", QByteArray(StringGridModel::kMaxDelimitedColumns, ','), u',',
         false, Rows{}},
        {"too many lines", QByteArray(StringGridModel::kMaxDelimitedRows + 1, '\n'), u',', false,
         Rows{}},
        {"larger than the limit", QByteArray(StringGridModel::kMaxDelimitedBytes + 1, 'x'), u',',
         false, Rows{}},
    };
    for (const Case& c : cases) {
        StringGridModel m;
        m.setGridSize(2, 2);
        m.setText(0, 0, "before");
        m.setRowHidden(1, true);
        const DelimitedReadResult result = m.readDelimited(c.bytes, c.separator);
        EXPECT_EQ(result.ok, c.ok) << c.what;
        if (c.ok) {
            // The grid takes the file's shape; shorter lines are padded with empty cells.
            if (!c.rows.isEmpty()) {
                EXPECT_EQ(m.gridColumnCount(), c.rows[0].size()) << c.what;
            }
            EXPECT_EQ(m.rowsOfText(StringGridModel::Cells::All), c.rows) << c.what;
            EXPECT_EQ(m.hiddenRowCount(), 0) << c.what;
        } else {
            EXPECT_FALSE(result.error.isEmpty()) << c.what;
            EXPECT_EQ(m.text(0, 0), "before") << c.what << ": a refused file changes nothing";
            EXPECT_EQ(m.gridRowCount(), 2) << c.what;
            EXPECT_TRUE(m.isRowHidden(1)) << c.what;
        }
    }
    // A line of the file that is shorter than the longest gets empty cells, not garbage.
    StringGridModel m;
    ASSERT_TRUE(m.readDelimited("a,b,c\nd\n", u',').ok);
    EXPECT_EQ(m.rowsOfText(), (QList<QStringList>{{"a", "b", "c"}, {"d", "", ""}}));
}

TEST(StringGridModel, WritesAFileReadsItBackAndComposesAboveIt) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("UDSErrorLog.csv");

    StringGridModel log;
    fillAwkwardCells(log);
    log.setColumnHidden(3, true);
    QString error;
    ASSERT_TRUE(log.writeDelimitedFile(path, u';', &error)) << error.toStdString();

    // The export's hidden grid: the file, then two information lines above it.
    StringGridModel copy;
    const DelimitedReadResult read = copy.readDelimitedFile(path, u';');
    ASSERT_TRUE(read.ok) << read.error.toStdString();
    EXPECT_EQ(read.rows, 4);
    EXPECT_EQ(read.columns, 3) << "the hidden column was not written";
    copy.insertGridRows(0, 2);
    copy.setText(0, 0, "VIN: ?");
    copy.setText(0, 1, "UDS Serial number: ?");
    ASSERT_TRUE(copy.writeDelimitedFile(path, u';', &error)) << error.toStdString();

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(
        bytes.startsWith("VIN: ?;;\r\nUDS Serial number: ?;;\r\n"
                         "Time stamp [hh:mm];Error name    ;NOx, ppm\r\n"
                         "3:10    ;(05) Dosing valve;1,5\r\n"))
        << bytes.toStdString();
    StringGridModel again;
    ASSERT_TRUE(again.readDelimited(bytes, u';').ok);
    EXPECT_EQ(again.text(1, 4), "two\nlines");
    EXPECT_EQ(again.text(2, 4), "a;b");

    // A file that cannot be written says so and leaves nothing behind.
    const QString nowhere = dir.filePath("missing/folder/log.csv");
    error.clear();
    EXPECT_FALSE(log.writeDelimitedFile(nowhere, u',', &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(nowhere));
    const DelimitedReadResult missing = copy.readDelimitedFile(nowhere, u',');
    EXPECT_FALSE(missing.ok);
    EXPECT_FALSE(missing.error.isEmpty());
    EXPECT_EQ(copy.text(0, 0), "VIN: ?");
}

// Qt's own checker of the model contract watches every kind of change.
int modelTesterComplaints = 0;
void countModelTesterComplaints(QtMsgType, const QMessageLogContext& context, const QString&) {
    if (context.category && QByteArray(context.category).startsWith("qt.modeltest")) {
        ++modelTesterComplaints;
    }
}

TEST(StringGridModel, KeepsTheModelContractThroughEveryChange) {
    StringGrid grid;  // a view attached, as in the windows
    StringGridModel& m = grid.cells();
    modelTesterComplaints = 0;
    const QtMessageHandler previous = qInstallMessageHandler(countModelTesterComplaints);
    {
        QAbstractItemModelTester tester(&m,
                                        QAbstractItemModelTester::FailureReportingMode::Warning);
        m.setFixedRows(1);
        m.setGridSize(5, 10);
        for (int r = 1; r < 10; ++r) {
            m.setRowTexts(r, {QString::number(10 - r), "x", "y"});
        }
        m.setRowHidden(3, true);
        m.setColumnSortKind(0, GridSortKind::Number);
        m.sortRows(0, Qt::AscendingOrder);
        m.insertGridRows(2, 3);
        m.removeGridRows(1, 2);
        m.appendRow({"7"});
        m.setColumnCount(7);
        m.setColumnCount(3);
        {
            StringGridModel::BulkUpdate bulk(m);
            m.setText(0, 2, "changed");
            m.setRowCount(20);
            m.sortRows(0, Qt::DescendingOrder);
        }
        {
            StringGridModel::BulkUpdate bulk(m);
            m.setText(0, 2, "again");
            m.sortRows(0, Qt::AscendingOrder);
        }
        m.clearData();
        ASSERT_TRUE(m.readDelimited("a,b\nc,d\ne,f\n", u',').ok);
        m.setRowCount(1);
        m.setFixedRows(0);
    }
    qInstallMessageHandler(previous);
    EXPECT_EQ(modelTesterComplaints, 0);
    EXPECT_EQ(m.gridRowCount(), 1);
}

}  // namespace
