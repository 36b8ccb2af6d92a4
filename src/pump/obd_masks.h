#pragma once
// The installer's OBD masks and DM1 support without any widget: the 104 selection boxes of the
// "MI configuration" tab as item indexes, the masks they build, the grid texts a mask read back
// from the pump shows, the telegrams of both generations, and the rules by which the pump's
// replies are taken or ignored.
//
// A window built on this keeps one ObdMasks and one MaskSelections (its boxes) and does:
//
//     create:    titles and names from obd_mask::kColumnTitles / kComponentNames, boxes from
//                MaskSelections::defaults()
//     download:  MaskCommand c = masks.downloadMiMasks(selections, version);
//                if (c.invalid) { operatorMessage(37); focus(c.invalid->boxName); return; }
//                if (c.enterTestModeFirst) enterTestMode();
//                queue c.telegrams in order; status "-"; if (c.lastDownloadId) { LastDownloadId
//                := *c.lastDownloadId; clear DownloadFailed; }
//     read:      answer = ask(obd_mask::kReadMiMasksQuestion); queue masks.readMiMasks(answer)
//     replies:   MaskReply r = masks.onMiMasksReply(code, body); write r.fills into the grid and
//                the boxes; return r.acceptance to the reply decoder
//     poll:      once per run, in the first round, when ObdMasks::pollReadsMiMasks(version):
//                queue miMasksReadTelegram(); MaskOverwrite is left as it is
//     parameter: the echoes and answers of parameters 11, 12, 30, 31 and 32, once the parameter
//                decoder has compared an echo with what was sent: masks.onMaskParameter(telegram)
//     DM1:       the reply decoder's lastDm1SettingSent() is masks.requestedDm1State()
//
// Replies are untrusted: a 164/165 reply without both masks, and an OBD action word whose index is
// not 0 or 1, are ignored whole (nothing stored, nothing shown, not accepted).

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pump/obd_mask_layout.h"
#include "pump/reply_decoder.h"
#include "pump/software_version.h"

// The four mask columns of the grid, numbered as the grid's columns.
enum class MaskColumn : uint8_t { OnOff = 1, ImmSeq = 2, ObdAction = 3, AirUnit = 4 };
inline constexpr std::array<MaskColumn, obd_mask::kMaskColumns> kAllMaskColumns = {
    MaskColumn::OnOff, MaskColumn::ImmSeq, MaskColumn::ObdAction, MaskColumn::AirUnit};
const char* toString(MaskColumn column);

// The item texts of a column's selection boxes.
std::span<const std::string_view> maskItems(MaskColumn column);
// The item index of a text typed or chosen in a column's box; -1 for a text that is no item.
int maskItemIndex(MaskColumn column, std::string_view text);
// "ComboBox1" to "ComboBox104": the selection box of a row (1 to 26) in a column; nullptr outside
// the grid. The text lives as long as the program.
const char* selectionBoxName(int row, MaskColumn column);

// The item index each of the 104 selection boxes holds; -1 for a box without a valid item.
class MaskSelections {
  public:
    // Every box as the window starts: the four default masks.
    static MaskSelections defaults();

    // -1 outside the grid, too.
    int at(int row, MaskColumn column) const;
    // Ignored outside the grid.
    void set(int row, MaskColumn column, int index);

    friend bool operator==(const MaskSelections&, const MaskSelections&) = default;

  private:
    std::array<std::array<int, obd_mask::kMaskColumns>, obd_mask::kComponentRows> index_{};
};

// A box that holds no valid item: the download is refused with operator message 37 and the
// focus goes to this box.
struct InvalidMaskSelection {
    int row = 0;
    MaskColumn column = MaskColumn::OnOff;
    const char* boxName = nullptr;
    int operatorMessage = obd_mask::kInvalidSelectionMessage;
};

// A column's mask with its fixed bits, or the first box (from row 1 down) that holds no valid
// item. OBD action masks are 64 bits wide; the other columns use the low 32.
struct ColumnMask {
    uint64_t mask = 0;
    std::optional<InvalidMaskSelection> invalid;
};
ColumnMask buildColumnMask(const MaskSelections& selections, MaskColumn column);

// One box set to an item.
struct MaskSelectionUpdate {
    int row = 0;
    MaskColumn column = MaskColumn::OnOff;
    int index = 0;
    const char* boxName = nullptr;
};
void applyMaskSelections(MaskSelections& selections, std::span<const MaskSelectionUpdate> updates);

// What a mask read back from the pump shows in one grid column.
struct MaskCellText {
    int row = 0;
    std::string text;
};
struct ColumnFill {
    MaskColumn column = MaskColumn::OnOff;
    // Cell (column, row) of `sgInstallBitMasks`, rows in ascending order. A bit pair of 3 has no
    // item: its cell shows "Invalid value: 3" and the rows after it are filled as usual.
    std::vector<MaskCellText> cells;
    // Only while MaskOverwrite is set: the boxes take the items read. A row without an item keeps
    // its box as it is.
    std::vector<MaskSelectionUpdate> selections;
};
// Only rows firstRow to lastRow: the rows of a mask half that is not known are left out.
ColumnFill fillColumn(MaskColumn column, uint64_t mask, bool overwriteSelections,
                      int firstRow = obd_mask::kFirstRow, int lastRow = obd_mask::kLastRow);

// One outgoing service telegram: the first `length` bytes of `bytes`.
struct OutgoingTelegram {
    std::array<uint8_t, obd_mask::kMiMasksTelegramSize> bytes{};
    std::size_t length = 8;
    std::span<const uint8_t> data() const { return std::span(bytes).first(length); }
};

// --- Telegram builders, one per command; bytes a command does not use are 0 ---
OutgoingTelegram miMasksTelegram(uint32_t onOff, uint32_t immSeq);     // 164, 16 bytes
OutgoingTelegram miMasksReadTelegram();                                // 165
OutgoingTelegram dm1SupportTelegram(bool enable);                      // 166
OutgoingTelegram dm1ReadTelegram();                                    // 167
OutgoingTelegram obdActionWordTelegram(uint8_t index, uint32_t word);  // 168
OutgoingTelegram obdActionReadTelegram(uint8_t index);                 // 169
OutgoingTelegram airUnitMaskTelegram(uint32_t mask);                   // 170
OutgoingTelegram airUnitReadTelegram();                                // 171
OutgoingTelegram maskParameterWrite(uint16_t parameter, uint32_t value, uint8_t index = 0);  // 172
OutgoingTelegram dm1ParameterWrite(bool enable);  // 172, parameter 30

// What a command queues. When `invalid` is set nothing at all happens: no test mode, no
// telegram, no bookkeeping; the window shows operator message 37 and focuses the box.
struct MaskCommand {
    std::optional<InvalidMaskSelection> invalid;
    // Downloads ask the pump into its test mode first (`enterTestMode`); reads do not.
    bool enterTestModeFirst = false;
    std::vector<OutgoingTelegram> telegrams;  // in this order
    // Parameter-write sequences: `LastDownloadId` takes this and `DownloadFailed` is cleared.
    std::optional<uint8_t> lastDownloadId;
};

// What the pump reported last, as the configuration snapshot reads it. Nothing before the pump
// reported a value.
struct PumpMaskValues {
    std::optional<uint32_t> onOff;   // `PumpMiMasks`, first word
    std::optional<uint32_t> immSeq;  // `PumpMiMasks`, second word
    std::array<std::optional<uint32_t>, obd_mask::kObdActionWords> obdActionWords;
    std::optional<uint32_t> airUnit;  // `PumpAirUnitMask`
    friend bool operator==(const PumpMaskValues&, const PumpMaskValues&) = default;
};

// What a reply does.
struct MaskReply {
    // For the reply decoder. A parameter telegram (172/173) has already been accepted or refused
    // by the parameter decoder; there this only says whether the value was taken.
    ReplyAcceptance acceptance = ReplyAcceptance::NotAccepted;
    std::vector<ColumnFill> fills;              // in this order
    std::optional<std::string_view> dm1Status;  // `lDM1Status`
    bool dm1StatusReceived = false;             // main `lStatus` only: kDm1StatusReceived
};

// The state of the two tabs: what was sent, what the pump holds, and `MaskOverwrite`. Main
// thread only, like the window and the reply decoder that drive it.
class ObdMasks {
  public:
    // --- Commands ---
    // "Download MI configuration": the ON/OFF and IMM/SEQ masks from columns 1 and 2.
    MaskCommand downloadMiMasks(const MaskSelections& selections,
                                const PumpSoftwareVersion& version);
    // "Download OBD Action": word 0, then word 1.
    MaskCommand downloadObdAction(const MaskSelections& selections,
                                  const PumpSoftwareVersion& version);
    // "Download Air Unit OBD state".
    MaskCommand downloadAirUnit(const MaskSelections& selections,
                                const PumpSoftwareVersion& version);
    // "Enable DM1 support" / "Disable DM1 support".
    MaskCommand switchDm1(bool enable, const PumpSoftwareVersion& version);
    // The reads ask their question (obd_mask::kRead...Question) first; the answer decides
    // whether what the pump reports also sets the boxes of its column.
    MaskCommand readMiMasks(bool overwriteSelections);
    MaskCommand readObdAction(bool overwriteSelections);  // index 0, then index 1
    MaskCommand readAirUnit(bool overwriteSelections);
    // "Check DM1 configuration" only reads: it does not ask the pump into its test mode, which
    // would stop the pump's normal dosing for a look at one flag.
    MaskCommand checkDm1() const;

    // The periodic poll reads the MI masks once per run, in its first round, from software 0.06
    // on; it leaves MaskOverwrite as it is.
    static bool pollReadsMiMasks(const PumpSoftwareVersion& version) { return version.page216(); }

    // --- Replies ---
    // 164 (download echo) and 165 (read): the body from telegram byte 8.
    MaskReply onMiMasksReply(uint8_t code, std::span<const uint8_t> body);
    // 168 (download echo) and 169 (read): longArg and the low byte of wordArg.
    MaskReply onObdActionWordReply(uint8_t code, uint32_t word, unsigned index);
    // 170 (download echo) and 171 (read).
    MaskReply onAirUnitReply(uint8_t code, uint32_t mask);
    // 166 (switch echo) and 167 (read): byteArg.
    MaskReply onDm1Reply(uint8_t code, uint8_t state) const;
    // A parameter telegram (8 bytes, 172 echo that matched what was sent, or 173 answer) of
    // parameters 11, 12, 30, 31 and 32; nothing for other parameters or a short telegram.
    std::optional<MaskReply> onMaskParameter(std::span<const uint8_t> telegram);

    // --- State ---
    bool maskOverwrite() const { return maskOverwrite_; }
    const PumpMaskValues& pumpMasks() const { return pump_; }
    // The DM1 state last asked for (`RequestedDm1State`); nothing before the first switch.
    std::optional<uint8_t> requestedDm1State() const { return requestedDm1_; }

  private:
    // Column 3 from the stored words; the rows of a word not yet reported are left out.
    ColumnFill obdActionFill() const;

    bool maskOverwrite_ = true;  // `MaskOverwrite`
    // `SentMiMasks`: only the dedicated 164 telegram is compared with its echo.
    std::optional<std::array<uint32_t, 2>> sentMiMasks_;
    std::optional<std::array<uint32_t, obd_mask::kObdActionWords>> sentObdAction_;
    std::optional<uint32_t> sentAirUnit_;
    std::optional<uint8_t> requestedDm1_;
    PumpMaskValues pump_;
};

// The DM1 state text for a reported state byte: "Enabled" for 1, "Disabled" otherwise.
std::string_view dm1StatusText(uint8_t state);
