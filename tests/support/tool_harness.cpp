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

std::vector<std::vector<uint8_t>> ToolHarness::sentTelegrams() const {
    std::vector<std::vector<uint8_t>> out;
    std::vector<uint8_t> building;
    std::size_t expected = 0;
    for (const J1939Frame& f : written()) {
        if (f.pgn == pgn::kProprietaryA) {
            out.emplace_back(f.data, f.data + f.length);
        } else if (f.pgn == pgn::kTpCm && f.length == 8 &&
                   (f.data[5] | (f.data[6] << 8) | (f.data[7] << 16)) == int(pgn::kProprietaryA)) {
            expected = std::size_t(f.data[1] | (f.data[2] << 8));
            building.clear();
        } else if (f.pgn == pgn::kTpDt && expected > 0 && f.length >= 2) {
            for (int i = 1; i < f.length && building.size() < expected; ++i) {
                building.push_back(f.data[i]);
            }
            if (building.size() == expected) {
                out.push_back(building);
                expected = 0;
            }
        }
    }
    return out;
}

void ToolHarness::reply(const std::vector<uint8_t>& telegram, uint8_t pump) {
    const uint32_t toTool = (6u << 26) | (uint32_t(kToolAddress) << 8) | pump;
    if (telegram.size() <= 8) {
        receive(toTool | (pgn::kProprietaryA << 8), telegram);
        return;
    }
    const auto n = uint16_t(telegram.size());
    receive(toTool | (pgn::kTpCm << 8),
            {32, uint8_t(n & 0xFF), uint8_t(n >> 8), uint8_t((n + 6) / 7), 0xFF, 0x00, 0xEF, 0x00});
    for (std::size_t at = 0, seq = 1; at < telegram.size(); at += 7, ++seq) {
        std::vector<uint8_t> dt(8, 0xFF);
        dt[0] = uint8_t(seq);
        for (std::size_t i = 0; i < 7 && at + i < telegram.size(); ++i) {
            dt[1 + i] = telegram[at + i];
        }
        receive(toTool | (pgn::kTpDt << 8), dt);
    }
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
