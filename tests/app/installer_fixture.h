#pragma once
// Small helpers of the installer window tests: page bodies built field by field, the operator's
// choice in a combo box, and the access level granted through "Configure".

#include <gtest/gtest.h>

#include <QComboBox>
#include <cstdint>
#include <vector>

#include "installer/installer.h"
#include "mainwindow/main_window.h"
#include "pump/installer_access.h"
#include "pump/installer_layout.h"
#include "pump/service_codes.h"
#include "pump/status_page_layout.h"
#include "tool_harness.h"

namespace installer_test {

// A page body (or a telegram) written field by field, little-endian.
struct Bytes {
    explicit Bytes(std::size_t size) : bytes(size, 0) {}
    Bytes& u8(std::size_t at, uint8_t v) {
        bytes.at(at) = v;
        return *this;
    }
    Bytes& s8(std::size_t at, int8_t v) { return u8(at, static_cast<uint8_t>(v)); }
    Bytes& u16(std::size_t at, uint16_t v) {
        u8(at, uint8_t(v));
        return u8(at + 1, uint8_t(v >> 8));
    }
    Bytes& u32(std::size_t at, uint32_t v) {
        u16(at, uint16_t(v));
        return u16(at + 2, uint16_t(v >> 16));
    }
    std::vector<uint8_t> bytes;
};

// Page 204 of a pump of the given software with its installer settings.
inline Bytes page204(uint8_t major, uint8_t minor) {
    namespace p = status_page::page204;
    Bytes b(status_page::kPage204Size);
    b.u16(p::kInstallDate, 22 | (6 << 7) | (14 << 11))  // 14 June 2022
        .u32(p::kDashboardOdometer, 154321)
        .u8(p::kHeaterBits, 0)
        .u8(p::kBlockedNozzleRestart, 10)
        .u8(p::kEcmCanAddress, 0)
        .u8(p::kSoftwareMajor, major)
        .u8(p::kSoftwareMinor, minor)
        .u8(p::kTlOutputSetup, 0)
        .u16(p::kLevelLowLimit, 236)
        .u16(p::kLevelEmptyLimit, 133)
        .u8(p::kLevelSensorSetup, 1);
    return b;
}

// Page 216 with the selection bytes given.
inline Bytes page216(uint8_t selections, uint8_t selections2) {
    namespace p = status_page::page216;
    Bytes b(status_page::kPage216Size);
    b.u8(p::kPurgeSequencesMinus1, 2)
        .u8(p::kValveOpenTime, 5)
        .u8(p::kValveCloseTime, 3)
        .u8(p::kSelections, selections)
        .u8(p::kSelections2, selections2)
        .u16(p::kIdleThresholdCount, 300)
        .u16(p::kSpeedSignalDivider, 1000);
    return b;
}

inline void page(ToolHarness& h, uint8_t code, const Bytes& body) {
    h.core().pageDisplay().onStatusPage(code, body.bytes);
}

// The operator picks an item (a preset by a page sets the index without this signal).
inline void choose(QComboBox* combo, int index) {
    ASSERT_NE(combo, nullptr);
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

// "Configure" with the password of `level` given at once.
inline void grantLevel(ToolHarness& h, int level) {
    h.dialogs.modalResult = level;
    h.mainWindow().Installer1->trigger();
    ASSERT_EQ(h.app().installer().accessLevel(), level);
}

}  // namespace installer_test
