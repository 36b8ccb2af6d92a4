#pragma once
// The torque limiter window: which of the pump's monitored conditions ask for the torque
// limitation now, one indicator each, and the two count-downs towards it.

#include <QLabel>
#include <array>
#include <cstdint>
#include <span>
#include <utility>

#include "app/tool_window.h"
#include "pump/torque_limiter.h"

class TfrmTorqueLimiter : public ToolWindow {
    Q_OBJECT
  public:
    explicit TfrmTorqueLimiter(QWidget* parent = nullptr);

    // The cause bytes of page 208 (or of reply 200): a set bit red, a clear bit green.
    void showTorqueLimiterCauses(std::span<const uint8_t> causes);
    // The count-downs of page 211, in seconds as the pump sends them.
    void showTorqueLimiterCountdowns(const std::pair<uint16_t, uint16_t>& values);
    // Every indicator red, both count-downs "?".
    void clearTorqueLimiterDisplay();

    QLabel* indicator(int index) const { return indicators_[static_cast<std::size_t>(index)]; }
    QLabel* lCoutDown5Sec = nullptr;
    QLabel* lCoutDown45Sec = nullptr;

  private:
    std::array<QLabel*, torque_limiter::kIndicatorCount> indicators_{};
};
