#include "tool_harness.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <fstream>

#include "mainwindow/main_window.h"
#include "pump/service_codes.h"

ToolHarness::ToolHarness(FakeLibrary::LoadResult loadResult, const char* settingsText) {
    library_.result = loadResult;
    if (settingsText) {
        std::ofstream(settingsPath().toStdString(), std::ios::binary) << settingsText;
    }
    ToolOptions options;
    options.settingsPath = settingsPath();
    options.library = &library_;
    options.clock = [this] { return nowMs; };
    app_ = std::make_unique<ToolApplication>(options, dialogs);
    app_->core().onTerminate = [this] { terminated = true; };
}

ToolHarness::~ToolHarness() {
    if (!allowMissingReadouts) {
        for (const std::string& name : app_->core().pageDisplay().missingReadouts()) {
            ADD_FAILURE() << "a status page names a read-out no window holds: " << name;
        }
    }
    app_.reset();
}

void ToolHarness::start() {
    mainWindow().FormShow();
    // The scheduler timer runs in the real tool; here the test drives the tick by hand.
    mainWindow().tmrTx->stop();
}

void ToolHarness::tick(int n) {
    for (int i = 0; i < n; ++i) {
        core().scheduler().schedulerTick();
    }
}

void ToolHarness::receive(uint32_t id, const std::vector<uint8_t>& bytes) {
    AdapterFrame frame;
    frame.id = id;
    frame.msgType = kMsgTypeExtended;
    frame.len = static_cast<uint8_t>(std::min<std::size_t>(bytes.size(), 8));
    std::copy_n(bytes.begin(), frame.len, frame.data);
    core().handOver(std::span<const AdapterFrame>(&frame, 1));
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
    if (auto* l = app_->mainWindow().findChild<QLabel*>(objectName)) {
        return l->text();
    }
    return "<no label>";
}

QString ToolHarness::label(const char* formName, const char* objectName) const {
    if (auto* l = find<QLabel>(formName, objectName)) {
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

void ToolHarness::pumpReplies() {
    // Page 202: accepted, and nothing on screen changes.
    std::vector<uint8_t> reply(8, 0);
    reply[7] = service_code::kPage202;
    receiveMessage(61, 249, pgn::kProprietaryA, reply);
}

void ToolHarness::pumpSpeaks() {
    receiveMessage(61, 255, pgn::kSoftwareId, {'1', '*'});
}
