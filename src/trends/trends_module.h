#pragma once
// The trends family: the trend plots of the pump's flow, NOx figures, conversion ratio and
// temperatures, fed by the status pages whether the window is shown or not, and their menu item
// "View > Trends".

#include <QElapsedTimer>
#include <QObject>

#include "app/tool_core.h"
#include "app/tool_module.h"
#include "trends/trend_model.h"

class TfTrends;

class TrendsModule : public QObject, public ToolModule, private PageObserver {
    Q_OBJECT
  public:
    explicit TrendsModule(ToolCore& core);
    ~TrendsModule() override;

    TrendModel& model() { return model_; }
    TfTrends& window() const { return *window_; }

    // ToolModule
    QList<QWidget*> windows() const override;
    void bindMenu(ToolMenu& menu) override;
    void attachReplies(ReplyRouter& router) override;

  private:
    // PageObserver: every page's values join their series (pages 205, 209, 210, 211).
    void onPageBody(uint8_t code, std::span<const uint8_t> body) override;

    // The trends' seconds count from the start of the tool.
    QElapsedTimer started_;
    TrendModel model_;
    TfTrends* window_;
};
