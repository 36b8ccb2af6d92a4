#include "diagnostics/obd_window.h"

#include <QHeaderView>
#include <QVBoxLayout>

using namespace obd_grid;

TfOBD::TfOBD(PumpSoftwareVersion versionAtCreation, QWidget* parent)
    : ToolWindow("fOBD", "On Board Diagnostics", parent), states_(versionAtCreation) {
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    pOBD = new QWidget(this);
    pOBD->setObjectName("pOBD");
    auto* panel = new QVBoxLayout(pOBD);
    panel->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pOBD);

    advsgOBD = new StringGrid(pOBD);
    advsgOBD->setObjectName("advsgOBD");
    advsgOBD->setCaption(windowTitle());
    advsgOBD->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    advsgOBD->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    advsgOBD->setShowGrid(true);
    panel->addWidget(advsgOBD);

    StringGridModel& cells = advsgOBD->cells();
    {
        StringGridModel::BulkUpdate bulk(cells);
        cells.setFixedRows(1);
        cells.setGridSize(kColumnCount, kRowCount);
        for (int row = kTitleRow; row < kRowCount; ++row) {
            cells.setRowHidden(row, states_.hidden(row));
            showRow(row);
        }
    }
    // The narrow spacer column is narrower than a header section would like to be.
    advsgOBD->horizontalHeader()->setMinimumSectionSize(1);
    int width = 2 * advsgOBD->frameWidth();
    for (int column = 0; column < kColumnCount; ++column) {
        advsgOBD->setColumnWidth(column, kColumnWidths[static_cast<std::size_t>(column)]);
        width += kColumnWidths[static_cast<std::size_t>(column)];
    }
    advsgOBD->setDefaultRowHeight(kRowHeight);
    advsgOBD->setFixedWidth(width);
    advsgOBD->setFixedHeight(kGridHeight);
    connect(advsgOBD, &StringGrid::cellClicked, this, &TfOBD::advsgOBDClickCell);
}

void TfOBD::setObdState(int row, const QString& text) {
    states_.setObdState(row, text.toStdString());
    showRow(row);
}

QString TfOBD::getObdState(int row) const {
    return QString::fromStdString(states_.getObdState(row));
}

void TfOBD::clearObdStates() {
    StringGridModel::BulkUpdate bulk(advsgOBD->cells());
    states_.clearObdStates();
    for (int row = kFirstComponentRow; row <= kLastComponentRow; ++row) {
        showRow(row);
    }
}

void TfOBD::applyObdStates(std::span<const ObdStateText> states) {
    StringGridModel::BulkUpdate bulk(advsgOBD->cells());
    for (const ObdStateText& s : states) {
        states_.setObdState(s.row, s.text);
        showRow(s.row);
    }
}

void TfOBD::advsgOBDClickCell(int column, int row) {
    states_.cellClicked(row, column);
    showRow(row);
}

void TfOBD::showEvent(QShowEvent* event) {
    advsgOBD->setFixedHeight(kGridHeight);
    pOBD->adjustSize();
    ToolWindow::showEvent(event);
}

void TfOBD::showRow(int row) {
    if (row < kTitleRow || row >= kRowCount) {
        return;
    }
    StringGridModel& cells = advsgOBD->cells();
    for (int column = 0; column < kColumnCount; ++column) {
        const ObdCellStyle style = states_.cellStyle(row, column);
        cells.setText(column, row, QString::fromStdString(states_.cellText(row, column)));
        cells.setTextColour(column, row, textColour(style.text));
        cells.setBackgroundColour(column, row, backgroundColour(style.background));
        cells.setAlignment(
            column, row,
            (style.alignment == ObdAlignment::Right ? Qt::AlignRight : Qt::AlignLeft) |
                Qt::AlignVCenter);
    }
}

QColor TfOBD::textColour(ObdTextColour colour) const {
    switch (colour) {
        case ObdTextColour::Red:
            return QColor(Qt::red);
        case ObdTextColour::Navy:
            return QColor(0, 0, 128);
        case ObdTextColour::Default:
            break;
    }
    return {};
}

QColor TfOBD::backgroundColour(ObdBackground background) const {
    switch (background) {
        case ObdBackground::ButtonFace:
            return palette().color(QPalette::Button);
        case ObdBackground::Marked:
            return palette().color(QPalette::ToolTipBase);
        case ObdBackground::Default:
            break;
    }
    return {};
}
