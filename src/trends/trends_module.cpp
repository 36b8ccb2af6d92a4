#include "trends/trends_module.h"

#include "trends/trends_window.h"

TrendsModule::TrendsModule(ToolCore& core)
    : model_([this] { return double(started_.nsecsElapsed()) / 1e9; }),
      window_(new TfTrends(model_, core.dialogs())) {
    started_.start();
    window_->setAttribute(Qt::WA_QuitOnClose, false);
}

TrendsModule::~TrendsModule() {
    delete window_;
}

QList<QWidget*> TrendsModule::windows() const {
    return {window_};
}

void TrendsModule::bindMenu(ToolMenu& menu) {
    menu.bindToggle("Trends1", window_);
}

void TrendsModule::attachReplies(ReplyRouter& router) {
    router.addPageObserver(*this);
}

void TrendsModule::onPageBody(uint8_t code, std::span<const uint8_t> body) {
    model_.onPage(code, body);
}
