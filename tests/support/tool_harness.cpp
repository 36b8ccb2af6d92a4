#include "tool_harness.h"

#include <QApplication>

ToolHarness::ToolHarness(FakeLibrary::LoadResult loadResult) {
    library_.result = loadResult;
    ToolOptions options;
    options.settingsPath = dir_.filePath("tool.ini");
    options.library = &library_;
    options.clock = [this] { return seconds; };
    app_ = std::make_unique<ToolApplication>(options, dialogs);
    app_->onTerminate = [this] { terminated = true; };
}

ToolHarness::~ToolHarness() {
    app_.reset();
}

void ToolHarness::start() {
    app_->Form1->FormShow();
    // The scheduler timer runs in the real tool; here the test drives the tick by hand.
    app_->Form1->tmrTx->stop();
}

void ToolHarness::tick(int n) {
    for (int i = 0; i < n; ++i) {
        app_->core->scheduler.schedulerTick();
    }
}

void ToolHarness::receive(uint32_t id, const std::vector<uint8_t>& bytes) {
    AdapterFrame frame;
    frame.id = id;
    frame.msgType = kMsgTypeExtended;
    frame.len = static_cast<uint8_t>(std::min<std::size_t>(bytes.size(), 8));
    std::copy_n(bytes.begin(), frame.len, frame.data);
    app_->core->onAdapterFrame(frame);
}

void ToolHarness::receiveMessage(uint8_t source, uint8_t destination, uint32_t pgn,
                                 const std::vector<uint8_t>& data) {
    uint32_t id = (6u << 26) | (pgn << 8) | source;
    if (!isPdu2(pgn)) {
        id |= uint32_t(destination) << 8;
    }
    receive(id, data);
}

std::vector<J1939Frame> ToolHarness::written() const {
    std::vector<J1939Frame> out;
    if (!library_.driver) {
        return out;
    }
    for (const AdapterFrame& f : library_.driver->written()) {
        if (auto decoded = decodeFrame(f)) {
            out.push_back(*decoded);
        }
    }
    return out;
}

std::vector<J1939Frame> ToolHarness::written(uint32_t pgn) const {
    std::vector<J1939Frame> out;
    for (const J1939Frame& f : written()) {
        if (f.pgn == pgn) {
            out.push_back(f);
        }
    }
    return out;
}

void ToolHarness::clearWritten() {
    if (library_.driver) {
        library_.driver->clearWritten();
    }
}

int ToolHarness::requestsFor(uint32_t requested) const {
    int n = 0;
    for (const J1939Frame& f : written(pgn::kRequest)) {
        if (f.length == 3 && (f.data[0] | (f.data[1] << 8) | (f.data[2] << 16)) == int(requested)) {
            ++n;
        }
    }
    return n;
}

std::vector<int> ToolHarness::sentCodes() const {
    std::vector<int> codes;
    for (const J1939Frame& f : written()) {
        if (f.pgn == pgn::kProprietaryA && f.length >= 8) {
            codes.push_back(f.data[7]);
        }
    }
    return codes;
}

QString ToolHarness::label(const char* objectName) const {
    if (auto* l = app_->Form1->findChild<QLabel*>(objectName)) {
        return l->text();
    }
    return "<no label>";
}

QString ToolHarness::status() const {
    return label("lStatus");
}

void ToolHarness::pumpClaims(uint8_t address) {
    receiveMessage(address, 255, pgn::kAddressClaimed, {1, 2, 3, 4, 5, 6, 7, 8});
}
