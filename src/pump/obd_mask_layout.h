#pragma once
// Where the pump keeps its OBD settings: the grid of the installer's "MI configuration" tab, the
// four masks the grid turns into, their defaults and fixed bits, the telegrams that carry them
// in both generations (dedicated codes 164 to 171 before software 0.11, parameter writes from
// 0.11 on) and the texts of the commands. Bits count from the least significant bit; masks are
// little-endian on the wire.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "pump/software_version.h"

namespace obd_mask {

// --- The grid `sgInstallBitMasks`: row 0 holds the titles, column 0 the component names ---
inline constexpr int kGridRows = 27;
inline constexpr int kGridColumns = 5;
inline constexpr int kFirstRow = 1;  // row i is bit i (or bit pair i) of every mask
inline constexpr int kLastRow = 26;
inline constexpr int kComponentRows = kLastRow - kFirstRow + 1;
inline constexpr int kMaskColumns = 4;

inline constexpr std::array<std::string_view, kGridColumns> kColumnTitles = {
    "", "Turn ON MI Lamp", "Turn Off MI Lamp", "Action on OBD", "Air Unit ON if OBD",
};

// Column 0, indexed by row. Worded as the pump's OBD masks name the components, which is not the
// OBD window's numbering.
inline constexpr std::array<std::string_view, kGridRows> kComponentNames = {
    "",
    "EEPROM",
    "Drive unit",
    "Upstream NOx sensor",
    "MAF sensor",
    "Upstream cat. temp",
    "Downstream cat. temp",
    "Dosing valve",
    "Tank heater output",
    "Line heater output",
    "Internal heater",
    "Urea tank temp. sensor",
    "Pump head temp.",
    "Pump frozen",
    "SCR efficiency",
    "not used",
    "Nozzle",
    "Level sensor",
    "Urea tank level",
    "Air and urea",
    "Return line",
    "Downstream NOx sensor",
    "Engine speed",
    "not used",
    "not used",
    "ECM communication",
    "Urea Tank Temperature",
};

// --- Items of the selection boxes, per column ---
inline constexpr std::array<std::string_view, 2> kOnOffItems = {"NO", "YES"};
inline constexpr std::array<std::string_view, 2> kImmSeqItems = {"IMM", "SEQ"};
inline constexpr std::array<std::string_view, 3> kObdActionItems = {"None", "Purge", "Pump OFF"};
inline constexpr std::array<std::string_view, 2> kAirUnitItems = {"NO", "YES"};

// --- The selection boxes: row i (1 to 25) uses ComboBox i, 25 + i, 50 + i and 75 + i in columns
// 1 to 4; row 26 uses ComboBox101 to ComboBox104 ---
inline constexpr std::string_view kSelectionBoxPrefix = "ComboBox";
inline constexpr int kBoxesPerColumn = 25;
inline constexpr int kLastRowFirstBox = 101;

// --- Defaults the selection boxes start with ---
inline constexpr uint32_t kDefaultOnOffMask = 0x027F7FFE;
inline constexpr uint32_t kDefaultImmSeqMask = 0x00091FFE;
inline constexpr uint64_t kDefaultObdActionMask = 0x0024055105155558;
inline constexpr uint32_t kDefaultAirUnitMask = 0x00000000;

// --- Fixed bits of what goes to the pump ---
// ON/OFF, IMM/SEQ and Air Unit: one bit a row, bit 0 and bits 27 to 31 belong to no component.
inline constexpr uint32_t kRowBits = 0x07FFFFFE;
// OBD action: two bits a row (2i, 2i + 1); bits 0 and 1 always go out as 3, bits 54 to 63 as 0.
inline constexpr unsigned kObdActionBitsPerRow = 2;
inline constexpr uint64_t kObdActionPairMask = 0x3;
inline constexpr uint64_t kObdActionFixedBits = 0x3;
// The Air Unit mask always goes out with bit 0 set.
inline constexpr uint32_t kAirUnitFixedBits = 0x1;
// The 64-bit OBD action mask travels as two 32-bit words, word 0 the low half.
inline constexpr std::size_t kObdActionWords = 2;
inline constexpr unsigned kWordBits = 32;

// --- Telegrams of the dedicated codes (software before 0.11), offsets into the telegram ---
// 164 command and reply: 16 bytes, the ON/OFF mask in 8-11, the IMM/SEQ mask in 12-15.
inline constexpr std::size_t kMiMasksTelegramSize = 16;
inline constexpr std::size_t kOnOffMaskOffset = 8;
inline constexpr std::size_t kImmSeqMaskOffset = 12;
// 165 command: byte 0 = 0. Reply: 16 bytes as 164.
// 166 command: byteArg 1 enable, 0 disable; reply byteArg the resulting state. 167 command: all
// 0; reply byteArg 1 enabled, anything else disabled.
// 168 command and reply: longArg one OBD action word, wordArg its index. 169 command: wordArg the
// index; reply longArg the word, byte 4 the index.
// 170 command and reply: longArg the Air Unit mask, wordArg 0. 171 reply: longArg the mask.

// --- Parameter writes (code 172, software 0.11 on), offsets into the 8-byte telegram ---
inline constexpr uint16_t kOnOffMaskParameter = 11;    // bytes 2-5 the mask
inline constexpr uint16_t kImmSeqMaskParameter = 12;   // bytes 2-5 the mask
inline constexpr uint16_t kDm1SupportParameter = 30;   // byte 2: 1 enable, 0 disable
inline constexpr uint16_t kObdActionParameter = 31;    // bytes 2-5 one word, byte 6 its index
inline constexpr uint16_t kAirUnitMaskParameter = 32;  // bytes 2-5 the mask, byte 6 = 0
inline constexpr std::size_t kParameterIdOffset = 0;   // 16-bit
inline constexpr std::size_t kParameterValueOffset = 2;
inline constexpr std::size_t kParameterIndexOffset = 6;

// Pumps from software 0.11 on take the masks and the DM1 switch as parameter writes.
constexpr bool takesParameterWrites(const PumpSoftwareVersion& version) {
    return version.minor >= 11 || version.major >= 1;
}

// --- Texts ---
// "\n" is a line break in the question dialogs; the blank before the second one belongs to the
// text.
inline constexpr std::string_view kReadMiMasksQuestion =
    "Shall the ON/OFF and IMM/SEQ masks,\nfor download, be overwritten with the \ndata now read "
    "from the pump?";
inline constexpr std::string_view kReadObdActionQuestion =
    "Shall the OBD action masks,\nfor download, be overwritten with the \ndata now read from the "
    "pump?";
inline constexpr std::string_view kReadAirUnitQuestion =
    "Shall the Air Unit OBD masks,\nfor download, be overwritten with the \ndata now read from the "
    "pump?";
inline constexpr std::string_view kDm1StatusReceived = "DM1 configuration status received";
inline constexpr std::string_view kDm1Enabled = "Enabled";
inline constexpr std::string_view kDm1Disabled = "Disabled";
// Operator message for a selection box without a valid item.
inline constexpr int kInvalidSelectionMessage = 37;

}  // namespace obd_mask
