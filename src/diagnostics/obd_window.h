#pragma once
// The OBD window: one row per monitored component of the dosing system with its current state, as
// the status pages report it. The grid shows an ObdStates model; rows are addressed by their
// component number whether rows above them are hidden or not.

#include <QString>
#include <span>

#include "app/string_grid.h"
#include "app/tool_window.h"
#include "pump/obd_states.h"
#include "pump/software_version.h"
#include "pump/status_pages.h"

class TfOBD : public ToolWindow {
    Q_OBJECT
  public:
    // Rows 25 and 26 are shown or hidden for good by the pump software version known now.
    explicit TfOBD(PumpSoftwareVersion versionAtCreation = {}, QWidget* parent = nullptr);

    // The state column of a shown component row; hidden rows take nothing.
    void setObdState(int row, const QString& text);
    // The state text of a row; "" for a hidden row or a number outside 1 to 26.
    QString getObdState(int row) const;
    // Every shown state reads "?".
    void clearObdStates();
    // The states a page decoder wrote, in its order, as one change of the grid.
    void applyObdStates(std::span<const ObdStateText> states);

    // A click on a cell: the state cells of component rows toggle their mark.
    void advsgOBDClickCell(int column, int row);

    const ObdStates& states() const { return states_; }
    StringGrid* advsgOBD = nullptr;
    QWidget* pOBD = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // The grid's cells of one row as the model has them.
    void showRow(int row);
    QColor textColour(ObdTextColour colour) const;
    QColor backgroundColour(ObdBackground background) const;

    ObdStates states_;
};
