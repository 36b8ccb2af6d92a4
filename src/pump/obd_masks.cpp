#include "pump/obd_masks.h"

#include <algorithm>

#include "pump/service_codes.h"
#include "pump/service_telegram.h"
#include "pump/text_tables.h"

using namespace obd_mask;

namespace {

bool inGrid(int row) {
    return row >= kFirstRow && row <= kLastRow;
}

int columnSlot(MaskColumn column) {
    return static_cast<int>(column) - 1;
}

bool validColumn(MaskColumn column) {
    const int slot = columnSlot(column);
    return slot >= 0 && slot < kMaskColumns;
}

// Where a row's value sits in its column's mask: one bit a row, two in the OBD action mask.
unsigned rowShift(int row, MaskColumn column) {
    return column == MaskColumn::ObdAction ? kObdActionBitsPerRow * static_cast<unsigned>(row)
                                           : static_cast<unsigned>(row);
}

uint64_t rowValueMask(MaskColumn column) {
    return column == MaskColumn::ObdAction ? kObdActionPairMask : 0x1;
}

uint64_t fixedBits(MaskColumn column) {
    switch (column) {
        case MaskColumn::ObdAction:
            return kObdActionFixedBits;
        case MaskColumn::AirUnit:
            return kAirUnitFixedBits;
        case MaskColumn::OnOff:
        case MaskColumn::ImmSeq:
            break;
    }
    return 0;
}

unsigned rowValue(uint64_t mask, int row, MaskColumn column) {
    return static_cast<unsigned>((mask >> rowShift(row, column)) & rowValueMask(column));
}

void putLe16(std::span<uint8_t> out, std::size_t offset, uint16_t value) {
    out[offset] = static_cast<uint8_t>(value);
    out[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void putLe32(std::span<uint8_t> out, std::size_t offset, uint32_t value) {
    putLe16(out, offset, static_cast<uint16_t>(value));
    putLe16(out, offset + 2, static_cast<uint16_t>(value >> 16));
}

OutgoingTelegram shortTelegram(uint8_t code, uint32_t longArg = 0, uint16_t wordArg = 0,
                               uint8_t byteArg = 0) {
    OutgoingTelegram out;
    out.length = service_length::kShortTelegram;
    ServiceTelegram{longArg, wordArg, byteArg, code}.encodeInto(out.bytes);
    return out;
}

std::array<uint32_t, kObdActionWords> splitWords(uint64_t mask) {
    return {static_cast<uint32_t>(mask), static_cast<uint32_t>(mask >> kWordBits)};
}

MaskCommand refused(const InvalidMaskSelection& invalid) {
    MaskCommand command;
    command.invalid = invalid;
    return command;
}

MaskCommand download(std::vector<OutgoingTelegram> telegrams,
                     std::optional<uint8_t> lastDownloadId) {
    MaskCommand command;
    command.enterTestModeFirst = true;
    command.telegrams = std::move(telegrams);
    command.lastDownloadId = lastDownloadId;
    return command;
}

MaskCommand read(std::vector<OutgoingTelegram> telegrams) {
    MaskCommand command;
    command.telegrams = std::move(telegrams);
    return command;
}

}  // namespace

const char* toString(MaskColumn column) {
    switch (column) {
        case MaskColumn::OnOff:
            return "OnOff";
        case MaskColumn::ImmSeq:
            return "ImmSeq";
        case MaskColumn::ObdAction:
            return "ObdAction";
        case MaskColumn::AirUnit:
            return "AirUnit";
    }
    return "?";
}

std::span<const std::string_view> maskItems(MaskColumn column) {
    switch (column) {
        case MaskColumn::OnOff:
            return kOnOffItems;
        case MaskColumn::ImmSeq:
            return kImmSeqItems;
        case MaskColumn::ObdAction:
            return kObdActionItems;
        case MaskColumn::AirUnit:
            return kAirUnitItems;
    }
    return {};
}

int maskItemIndex(MaskColumn column, std::string_view text) {
    const auto items = maskItems(column);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i] == text) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

const char* selectionBoxName(int row, MaskColumn column) {
    static const auto names = [] {
        std::array<std::array<std::string, kMaskColumns>, kComponentRows> n;
        for (int r = kFirstRow; r <= kLastRow; ++r) {
            for (int c = 0; c < kMaskColumns; ++c) {
                const int number = r == kLastRow ? kLastRowFirstBox + c : kBoxesPerColumn * c + r;
                n[r - kFirstRow][c] = std::string(kSelectionBoxPrefix) + std::to_string(number);
            }
        }
        return n;
    }();
    if (!inGrid(row) || !validColumn(column)) {
        return nullptr;
    }
    return names[row - kFirstRow][columnSlot(column)].c_str();
}

MaskSelections MaskSelections::defaults() {
    const uint64_t masks[kMaskColumns] = {kDefaultOnOffMask, kDefaultImmSeqMask,
                                          kDefaultObdActionMask, kDefaultAirUnitMask};
    MaskSelections selections;
    for (int row = kFirstRow; row <= kLastRow; ++row) {
        for (MaskColumn column : kAllMaskColumns) {
            selections.set(row, column,
                           static_cast<int>(rowValue(masks[columnSlot(column)], row, column)));
        }
    }
    return selections;
}

int MaskSelections::at(int row, MaskColumn column) const {
    if (!inGrid(row) || !validColumn(column)) {
        return -1;
    }
    return index_[row - kFirstRow][columnSlot(column)];
}

void MaskSelections::set(int row, MaskColumn column, int index) {
    if (inGrid(row) && validColumn(column)) {
        index_[row - kFirstRow][columnSlot(column)] = index;
    }
}

ColumnMask buildColumnMask(const MaskSelections& selections, MaskColumn column) {
    ColumnMask result;
    result.mask = fixedBits(column);
    const auto items = static_cast<int>(maskItems(column).size());
    for (int row = kFirstRow; row <= kLastRow; ++row) {
        const int index = selections.at(row, column);
        // A box without an item must never go out as "all bits set": that would be the
        // reserved action 3 or a lamp switched on nobody chose.
        if (index < 0 || index >= items) {
            result.mask = 0;
            result.invalid = InvalidMaskSelection{row, column, selectionBoxName(row, column)};
            return result;
        }
        result.mask |= static_cast<uint64_t>(index) << rowShift(row, column);
    }
    return result;
}

void applyMaskSelections(MaskSelections& selections, std::span<const MaskSelectionUpdate> updates) {
    for (const auto& update : updates) {
        selections.set(update.row, update.column, update.index);
    }
}

ColumnFill fillColumn(MaskColumn column, uint64_t mask, bool overwriteSelections, int firstRow,
                      int lastRow) {
    ColumnFill fill;
    fill.column = column;
    const auto items = maskItems(column);
    for (int row = std::max(firstRow, kFirstRow); row <= std::min(lastRow, kLastRow); ++row) {
        const unsigned value = rowValue(mask, row, column);
        if (value < items.size()) {
            fill.cells.push_back({row, std::string(items[value])});
            if (overwriteSelections) {
                fill.selections.push_back(
                    {row, column, static_cast<int>(value), selectionBoxName(row, column)});
            }
        } else {
            fill.cells.push_back({row, text_tables::invalidValueText(value)});
        }
    }
    return fill;
}

// --- Telegrams ---

OutgoingTelegram miMasksTelegram(uint32_t onOff, uint32_t immSeq) {
    OutgoingTelegram out = shortTelegram(service_code::kSetMiMasks);
    out.length = kMiMasksTelegramSize;
    putLe32(out.bytes, kOnOffMaskOffset, onOff);
    putLe32(out.bytes, kImmSeqMaskOffset, immSeq);
    return out;
}

OutgoingTelegram miMasksReadTelegram() {
    return shortTelegram(service_code::kRequestMiMasks);
}

OutgoingTelegram dm1SupportTelegram(bool enable) {
    return shortTelegram(service_code::kSetDm1Support, 0, 0,
                         enable ? service_arg::kDm1Enabled : service_arg::kDm1Disabled);
}

OutgoingTelegram dm1ReadTelegram() {
    return shortTelegram(service_code::kRequestDm1Support);
}

OutgoingTelegram obdActionWordTelegram(uint8_t index, uint32_t word) {
    return shortTelegram(service_code::kSetObdActionMaskWord, word, index);
}

OutgoingTelegram obdActionReadTelegram(uint8_t index) {
    return shortTelegram(service_code::kRequestObdActionMaskWord, 0, index);
}

OutgoingTelegram airUnitMaskTelegram(uint32_t mask) {
    return shortTelegram(service_code::kSetAirUnitMask, mask);
}

OutgoingTelegram airUnitReadTelegram() {
    return shortTelegram(service_code::kRequestAirUnitMask);
}

OutgoingTelegram maskParameterWrite(uint16_t parameter, uint32_t value, uint8_t index) {
    OutgoingTelegram out = shortTelegram(service_code::kParameterWrite);
    putLe16(out.bytes, kParameterIdOffset, parameter);
    putLe32(out.bytes, kParameterValueOffset, value);
    out.bytes[kParameterIndexOffset] = index;
    return out;
}

OutgoingTelegram dm1ParameterWrite(bool enable) {
    OutgoingTelegram out = shortTelegram(service_code::kParameterWrite);
    putLe16(out.bytes, kParameterIdOffset, kDm1SupportParameter);
    out.bytes[kParameterValueOffset] =
        enable ? service_arg::kDm1Enabled : service_arg::kDm1Disabled;
    return out;
}

std::string_view dm1StatusText(uint8_t state) {
    return state == service_arg::kDm1Enabled ? kDm1Enabled : kDm1Disabled;
}

// --- Commands ---

MaskCommand ObdMasks::downloadMiMasks(const MaskSelections& selections,
                                      const PumpSoftwareVersion& version) {
    const ColumnMask onOff = buildColumnMask(selections, MaskColumn::OnOff);
    if (onOff.invalid) {
        return refused(*onOff.invalid);
    }
    const ColumnMask immSeq = buildColumnMask(selections, MaskColumn::ImmSeq);
    if (immSeq.invalid) {
        return refused(*immSeq.invalid);
    }
    const auto onOffMask = static_cast<uint32_t>(onOff.mask);
    const auto immSeqMask = static_cast<uint32_t>(immSeq.mask);
    if (takesParameterWrites(version)) {
        return download({maskParameterWrite(kOnOffMaskParameter, onOffMask),
                         maskParameterWrite(kImmSeqMaskParameter, immSeqMask)},
                        kImmSeqMaskParameter);
    }
    sentMiMasks_ = {onOffMask, immSeqMask};
    return download({miMasksTelegram(onOffMask, immSeqMask)}, std::nullopt);
}

MaskCommand ObdMasks::downloadObdAction(const MaskSelections& selections,
                                        const PumpSoftwareVersion& version) {
    const ColumnMask action = buildColumnMask(selections, MaskColumn::ObdAction);
    if (action.invalid) {
        return refused(*action.invalid);
    }
    const auto words = splitWords(action.mask);
    sentObdAction_ = words;
    if (takesParameterWrites(version)) {
        return download({maskParameterWrite(kObdActionParameter, words[0], 0),
                         maskParameterWrite(kObdActionParameter, words[1], 1)},
                        kObdActionParameter);
    }
    return download({obdActionWordTelegram(0, words[0]), obdActionWordTelegram(1, words[1])},
                    std::nullopt);
}

MaskCommand ObdMasks::downloadAirUnit(const MaskSelections& selections,
                                      const PumpSoftwareVersion& version) {
    const ColumnMask airUnit = buildColumnMask(selections, MaskColumn::AirUnit);
    if (airUnit.invalid) {
        return refused(*airUnit.invalid);
    }
    const auto mask = static_cast<uint32_t>(airUnit.mask);
    sentAirUnit_ = mask;
    if (takesParameterWrites(version)) {
        return download({maskParameterWrite(kAirUnitMaskParameter, mask, 0)},
                        kAirUnitMaskParameter);
    }
    return download({airUnitMaskTelegram(mask)}, std::nullopt);
}

MaskCommand ObdMasks::switchDm1(bool enable, const PumpSoftwareVersion& version) {
    requestedDm1_ = enable ? service_arg::kDm1Enabled : service_arg::kDm1Disabled;
    if (takesParameterWrites(version)) {
        return download({dm1ParameterWrite(enable)}, kDm1SupportParameter);
    }
    return download({dm1SupportTelegram(enable)}, std::nullopt);
}

MaskCommand ObdMasks::readMiMasks(bool overwriteSelections) {
    maskOverwrite_ = overwriteSelections;
    return read({miMasksReadTelegram()});
}

MaskCommand ObdMasks::readObdAction(bool overwriteSelections) {
    maskOverwrite_ = overwriteSelections;
    return read({obdActionReadTelegram(0), obdActionReadTelegram(1)});
}

MaskCommand ObdMasks::readAirUnit(bool overwriteSelections) {
    maskOverwrite_ = overwriteSelections;
    return read({airUnitReadTelegram()});
}

MaskCommand ObdMasks::checkDm1() const {
    return read({dm1ReadTelegram()});
}

// --- Replies ---

MaskReply ObdMasks::onMiMasksReply(uint8_t code, std::span<const uint8_t> body) {
    MaskReply reply;
    constexpr std::size_t kBodyOnOff = kOnOffMaskOffset - service_telegram::kBodyOffset;
    constexpr std::size_t kBodyImmSeq = kImmSeqMaskOffset - service_telegram::kBodyOffset;
    if ((code != service_code::kSetMiMasks && code != service_code::kRequestMiMasks) ||
        body.size() < kBodyImmSeq + 4) {
        return reply;
    }
    const uint32_t onOff = service_telegram::readLe32(body, kBodyOnOff);
    const uint32_t immSeq = service_telegram::readLe32(body, kBodyImmSeq);
    // Either reply says what the pump now holds, so both are stored; only the echo of the masks
    // sent completes a download.
    pump_.onOff = onOff;
    pump_.immSeq = immSeq;
    if (code == service_code::kSetMiMasks &&
        sentMiMasks_ != std::array<uint32_t, 2>{onOff, immSeq}) {
        return reply;
    }
    reply.acceptance = ReplyAcceptance::Accepted;
    reply.fills.push_back(fillColumn(MaskColumn::OnOff, onOff, maskOverwrite_));
    reply.fills.push_back(fillColumn(MaskColumn::ImmSeq, immSeq, maskOverwrite_));
    return reply;
}

ColumnFill ObdMasks::obdActionFill() const {
    const auto& words = pump_.obdActionWords;
    uint64_t mask = 0;
    int firstRow = kFirstRow;
    int lastRow = kLastRow;
    if (words[0]) {
        mask |= *words[0];
    } else {
        firstRow = static_cast<int>(kWordBits / kObdActionBitsPerRow);  // row 16, word 1's first
    }
    if (words[1]) {
        mask |= static_cast<uint64_t>(*words[1]) << kWordBits;
    } else {
        lastRow = static_cast<int>(kWordBits / kObdActionBitsPerRow) - 1;
    }
    return fillColumn(MaskColumn::ObdAction, mask, maskOverwrite_, firstRow, lastRow);
}

MaskReply ObdMasks::onObdActionWordReply(uint8_t code, uint32_t word, unsigned index) {
    MaskReply reply;
    // An index past the two words would write beyond the mask.
    if (index >= kObdActionWords) {
        return reply;
    }
    if (code == service_code::kSetObdActionMaskWord) {
        if (!sentObdAction_ || (*sentObdAction_)[index] != word) {
            return reply;
        }
    } else if (code != service_code::kRequestObdActionMaskWord) {
        return reply;
    }
    pump_.obdActionWords[index] = word;
    reply.acceptance = ReplyAcceptance::Accepted;
    // The column is redrawn once the second word is in, with whatever word 0 the pump sent last.
    if (index == 1) {
        reply.fills.push_back(obdActionFill());
    }
    return reply;
}

MaskReply ObdMasks::onAirUnitReply(uint8_t code, uint32_t mask) {
    MaskReply reply;
    if (code == service_code::kSetAirUnitMask) {
        if (sentAirUnit_ != mask) {
            return reply;
        }
    } else if (code != service_code::kRequestAirUnitMask) {
        return reply;
    }
    pump_.airUnit = mask;
    reply.acceptance = ReplyAcceptance::Accepted;
    reply.fills.push_back(fillColumn(MaskColumn::AirUnit, mask, maskOverwrite_));
    return reply;
}

MaskReply ObdMasks::onDm1Reply(uint8_t code, uint8_t state) const {
    MaskReply reply;
    if (code == service_code::kSetDm1Support) {
        // An older pump that cannot switch answers with the state it kept: not what was asked
        // for, so the switch is not confirmed.
        if (requestedDm1_ != state) {
            return reply;
        }
    } else if (code != service_code::kRequestDm1Support) {
        return reply;
    }
    reply.acceptance = ReplyAcceptance::Accepted;
    reply.dm1StatusReceived = true;
    reply.dm1Status = dm1StatusText(state);
    return reply;
}

std::optional<MaskReply> ObdMasks::onMaskParameter(std::span<const uint8_t> telegram) {
    if (telegram.size() < service_length::kShortTelegram) {
        return std::nullopt;
    }
    const uint16_t parameter = service_telegram::readLe16(telegram, kParameterIdOffset);
    const uint32_t value = service_telegram::readLe32(telegram, kParameterValueOffset);
    MaskReply reply;
    switch (parameter) {
        case kOnOffMaskParameter:
        case kImmSeqMaskParameter: {
            // The pump holds these masks now; a snapshot saved after the download must say so.
            const bool onOff = parameter == kOnOffMaskParameter;
            (onOff ? pump_.onOff : pump_.immSeq) = value;
            reply.acceptance = ReplyAcceptance::Accepted;
            reply.fills.push_back(
                fillColumn(onOff ? MaskColumn::OnOff : MaskColumn::ImmSeq, value, maskOverwrite_));
            return reply;
        }
        case kDm1SupportParameter:
            reply.acceptance = ReplyAcceptance::Accepted;
            reply.dm1Status = dm1StatusText(telegram[kParameterValueOffset]);
            return reply;
        case kObdActionParameter: {
            const unsigned index = telegram[kParameterIndexOffset];
            if (index >= kObdActionWords || !sentObdAction_ || (*sentObdAction_)[index] != value) {
                return reply;
            }
            pump_.obdActionWords[index] = value;
            reply.acceptance = ReplyAcceptance::Accepted;
            if (index == 1) {
                reply.fills.push_back(obdActionFill());
            }
            return reply;
        }
        case kAirUnitMaskParameter:
            if (sentAirUnit_ != value) {
                return reply;
            }
            pump_.airUnit = value;
            reply.acceptance = ReplyAcceptance::Accepted;
            reply.fills.push_back(fillColumn(MaskColumn::AirUnit, value, maskOverwrite_));
            return reply;
        default:
            return std::nullopt;
    }
}
