// The MI configuration tab without its widgets: the selection boxes, the masks they build and the
// telegrams of both generations. Expected telegrams are written out byte by byte.

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "pump/obd_masks.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(const OutgoingTelegram& t) {
    const auto d = t.data();
    return Bytes(d.begin(), d.end());
}

std::vector<Bytes> telegramsOf(const MaskCommand& c) {
    std::vector<Bytes> out;
    for (const auto& t : c.telegrams) {
        out.push_back(bytesOf(t));
    }
    return out;
}

constexpr PumpSoftwareVersion kOlder{0, 10};
constexpr PumpSoftwareVersion kParameterWrites{0, 11};

}  // namespace

TEST(MaskGrid, SelectionBoxesAreNumberedByColumnWithTheLastRowApart) {
    struct Case {
        int row;
        MaskColumn column;
        const char* name;
    };
    const Case cases[] = {
        {1, MaskColumn::OnOff, "ComboBox1"},        {25, MaskColumn::OnOff, "ComboBox25"},
        {1, MaskColumn::ImmSeq, "ComboBox26"},      {7, MaskColumn::ImmSeq, "ComboBox32"},
        {1, MaskColumn::ObdAction, "ComboBox51"},   {25, MaskColumn::ObdAction, "ComboBox75"},
        {1, MaskColumn::AirUnit, "ComboBox76"},     {25, MaskColumn::AirUnit, "ComboBox100"},
        {26, MaskColumn::OnOff, "ComboBox101"},     {26, MaskColumn::ImmSeq, "ComboBox102"},
        {26, MaskColumn::ObdAction, "ComboBox103"}, {26, MaskColumn::AirUnit, "ComboBox104"},
    };
    for (const auto& c : cases) {
        ASSERT_NE(selectionBoxName(c.row, c.column), nullptr);
        EXPECT_STREQ(selectionBoxName(c.row, c.column), c.name)
            << c.row << " " << toString(c.column);
    }
    std::set<std::string> names;
    for (int row = 1; row <= 26; ++row) {
        for (MaskColumn column : kAllMaskColumns) {
            names.insert(selectionBoxName(row, column));
        }
    }
    EXPECT_EQ(names.size(), 104u);
    EXPECT_EQ(selectionBoxName(0, MaskColumn::OnOff), nullptr);
    EXPECT_EQ(selectionBoxName(27, MaskColumn::AirUnit), nullptr);
    EXPECT_EQ(selectionBoxName(1, static_cast<MaskColumn>(5)), nullptr);
}

TEST(MaskGrid, TypedTextSelectsAnItemOnlyWhenItIsOne) {
    EXPECT_EQ(maskItemIndex(MaskColumn::OnOff, "YES"), 1);
    EXPECT_EQ(maskItemIndex(MaskColumn::ImmSeq, "IMM"), 0);
    EXPECT_EQ(maskItemIndex(MaskColumn::ObdAction, "Pump OFF"), 2);
    EXPECT_EQ(maskItemIndex(MaskColumn::AirUnit, "NO"), 0);
    EXPECT_EQ(maskItemIndex(MaskColumn::ObdAction, "pump off"), -1);
    EXPECT_EQ(maskItemIndex(MaskColumn::OnOff, "SEQ"), -1);
    EXPECT_EQ(maskItemIndex(MaskColumn::ImmSeq, ""), -1);
}

// The defaults as the installer's row table lists them, independent of the four constants.
TEST(MaskSelections, DefaultsFollowTheRowTable) {
    struct Group {
        std::vector<int> rows;
        const char* onOff;
        const char* immSeq;
        const char* action;
        const char* airUnit;
    };
    const Group groups[] = {
        {{1}, "YES", "SEQ", "Pump OFF", "NO"},
        {{2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 16, 19}, "YES", "SEQ", "Purge", "NO"},
        {{11}, "YES", "SEQ", "None", "NO"},
        {{13, 18, 20, 21, 25}, "YES", "IMM", "Purge", "NO"},
        {{14, 17, 22}, "YES", "IMM", "None", "NO"},
        {{15, 23, 24}, "NO", "IMM", "None", "NO"},
        {{26}, "NO", "IMM", "Pump OFF", "NO"},
    };
    const MaskSelections defaults = MaskSelections::defaults();
    int seen = 0;
    for (const auto& g : groups) {
        for (int row : g.rows) {
            ++seen;
            const auto text = [&](MaskColumn column) {
                return std::string(maskItems(column)[defaults.at(row, column)]);
            };
            EXPECT_EQ(text(MaskColumn::OnOff), g.onOff) << row;
            EXPECT_EQ(text(MaskColumn::ImmSeq), g.immSeq) << row;
            EXPECT_EQ(text(MaskColumn::ObdAction), g.action) << row;
            EXPECT_EQ(text(MaskColumn::AirUnit), g.airUnit) << row;
        }
    }
    EXPECT_EQ(seen, 26);
}

TEST(MaskSelections, EachBoxSetsItsOwnBitsAndTheFixedBitsStay) {
    MaskSelections s = MaskSelections::defaults();
    s.set(15, MaskColumn::OnOff, 1);      // "not used" switched on: bit 15
    s.set(1, MaskColumn::ImmSeq, 0);      // bit 1 cleared
    s.set(26, MaskColumn::ObdAction, 0);  // bits 52-53 cleared
    s.set(16, MaskColumn::ObdAction, 2);  // bits 32-33: Purge -> Pump OFF
    s.set(26, MaskColumn::AirUnit, 1);    // bit 26
    EXPECT_EQ(buildColumnMask(s, MaskColumn::OnOff).mask, 0x027FFFFEu);
    EXPECT_EQ(buildColumnMask(s, MaskColumn::ImmSeq).mask, 0x00091FFCu);
    EXPECT_EQ(buildColumnMask(s, MaskColumn::ObdAction).mask, 0x000405520515555Bull);
    EXPECT_EQ(buildColumnMask(s, MaskColumn::AirUnit).mask, 0x04000001u);

    // Every box at its highest item: no bit outside the rows is touched.
    MaskSelections all;
    for (int row = 1; row <= 26; ++row) {
        for (MaskColumn column : kAllMaskColumns) {
            all.set(row, column, static_cast<int>(maskItems(column).size()) - 1);
        }
    }
    EXPECT_EQ(buildColumnMask(all, MaskColumn::OnOff).mask, 0x07FFFFFEu);
    EXPECT_EQ(buildColumnMask(all, MaskColumn::AirUnit).mask, 0x07FFFFFFu);
    EXPECT_EQ(buildColumnMask(all, MaskColumn::ObdAction).mask, 0x002AAAAAAAAAAAABull);
}

// With every box at its default, the four downloads in both generations.
TEST(MaskDownload, DefaultsGoOutInBothGenerations) {
    struct Case {
        PumpSoftwareVersion version;
        MaskCommand (ObdMasks::*download)(const MaskSelections&, const PumpSoftwareVersion&);
        std::vector<Bytes> telegrams;
        std::optional<uint8_t> lastDownloadId;
    };
    const Case cases[] = {
        {kOlder,
         &ObdMasks::downloadMiMasks,
         {{0, 0, 0, 0, 0, 0, 0, 164, 0xFE, 0x7F, 0x7F, 0x02, 0xFE, 0x1F, 0x09, 0x00}},
         std::nullopt},
        {kOlder,
         &ObdMasks::downloadObdAction,
         {{0x5B, 0x55, 0x15, 0x05, 0, 0, 0, 168}, {0x51, 0x05, 0x24, 0x00, 1, 0, 0, 168}},
         std::nullopt},
        {kOlder, &ObdMasks::downloadAirUnit, {{0x01, 0, 0, 0, 0, 0, 0, 170}}, std::nullopt},
        {kParameterWrites,
         &ObdMasks::downloadMiMasks,
         {{11, 0, 0xFE, 0x7F, 0x7F, 0x02, 0, 172}, {12, 0, 0xFE, 0x1F, 0x09, 0x00, 0, 172}},
         12},
        {kParameterWrites,
         &ObdMasks::downloadObdAction,
         {{31, 0, 0x5B, 0x55, 0x15, 0x05, 0, 172}, {31, 0, 0x51, 0x05, 0x24, 0x00, 1, 172}},
         31},
        {kParameterWrites, &ObdMasks::downloadAirUnit, {{32, 0, 0x01, 0, 0, 0, 0, 172}}, 32},
        // Major 1 with a small minor takes parameter writes as well.
        {{1, 2}, &ObdMasks::downloadAirUnit, {{32, 0, 0x01, 0, 0, 0, 0, 172}}, 32},
    };
    for (const auto& c : cases) {
        ObdMasks masks;
        const MaskCommand command = (masks.*c.download)(MaskSelections::defaults(), c.version);
        SCOPED_TRACE(testing::Message() << int(c.version.major) << "." << int(c.version.minor)
                                        << " " << int(c.telegrams.front().back()));
        EXPECT_FALSE(command.invalid.has_value());
        EXPECT_TRUE(command.enterTestModeFirst);
        EXPECT_EQ(telegramsOf(command), c.telegrams);
        EXPECT_EQ(command.lastDownloadId, c.lastDownloadId);
    }
}

TEST(MaskDownload, ReadsAndTheDm1CheckDoNotEnterTestMode) {
    ObdMasks masks;
    const MaskCommand mi = masks.readMiMasks(false);
    EXPECT_FALSE(masks.maskOverwrite());
    const MaskCommand action = masks.readObdAction(true);
    EXPECT_TRUE(masks.maskOverwrite());
    const MaskCommand air = masks.readAirUnit(false);
    EXPECT_FALSE(masks.maskOverwrite());
    const MaskCommand dm1 = masks.checkDm1();

    EXPECT_EQ(telegramsOf(mi), (std::vector<Bytes>{{0, 0, 0, 0, 0, 0, 0, 165}}));
    EXPECT_EQ(telegramsOf(action),
              (std::vector<Bytes>{{0, 0, 0, 0, 0, 0, 0, 169}, {0, 0, 0, 0, 1, 0, 0, 169}}));
    EXPECT_EQ(telegramsOf(air), (std::vector<Bytes>{{0, 0, 0, 0, 0, 0, 0, 171}}));
    EXPECT_EQ(telegramsOf(dm1), (std::vector<Bytes>{{0, 0, 0, 0, 0, 0, 0, 167}}));
    for (const MaskCommand* c : {&mi, &action, &air, &dm1}) {
        EXPECT_FALSE(c->enterTestModeFirst);
        EXPECT_FALSE(c->lastDownloadId.has_value());
    }
    EXPECT_TRUE(ObdMasks::pollReadsMiMasks({0, 6}));
    EXPECT_FALSE(ObdMasks::pollReadsMiMasks({0, 5}));
    EXPECT_TRUE(ObdMasks::pollReadsMiMasks({1, 0}));
}

TEST(MaskDownload, Dm1SwitchInBothGenerations) {
    struct Case {
        bool enable;
        PumpSoftwareVersion version;
        Bytes telegram;
        std::optional<uint8_t> lastDownloadId;
    };
    const Case cases[] = {
        {true, kOlder, {0, 0, 0, 0, 0, 0, 1, 166}, std::nullopt},
        {false, kOlder, {0, 0, 0, 0, 0, 0, 0, 166}, std::nullopt},
        {true, kParameterWrites, {30, 0, 1, 0, 0, 0, 0, 172}, 30},
        {false, kParameterWrites, {30, 0, 0, 0, 0, 0, 0, 172}, 30},
    };
    for (const auto& c : cases) {
        ObdMasks masks;
        const MaskCommand command = masks.switchDm1(c.enable, c.version);
        EXPECT_TRUE(command.enterTestModeFirst);
        EXPECT_EQ(telegramsOf(command), std::vector<Bytes>{c.telegram});
        EXPECT_EQ(command.lastDownloadId, c.lastDownloadId);
        EXPECT_EQ(masks.requestedDm1State(), c.enable ? 1 : 0);
    }
}

// A box without an item must not turn into "all bits set" (OBD action 3, a lamp nobody chose):
// the download is refused, names the box and changes nothing.
TEST(MaskDownload, BoxWithoutItemRefusesTheDownloadAndNamesTheBox) {
    struct Case {
        int row;
        MaskColumn column;
        int index;
        MaskCommand (ObdMasks::*download)(const MaskSelections&, const PumpSoftwareVersion&);
        const char* box;
    };
    const Case cases[] = {
        {5, MaskColumn::OnOff, -1, &ObdMasks::downloadMiMasks, "ComboBox5"},
        {26, MaskColumn::ImmSeq, -1, &ObdMasks::downloadMiMasks, "ComboBox102"},
        {2, MaskColumn::ImmSeq, 2, &ObdMasks::downloadMiMasks, "ComboBox27"},
        {5, MaskColumn::ObdAction, -1, &ObdMasks::downloadObdAction, "ComboBox55"},
        {20, MaskColumn::ObdAction, 3, &ObdMasks::downloadObdAction, "ComboBox70"},
        {1, MaskColumn::AirUnit, -1, &ObdMasks::downloadAirUnit, "ComboBox76"},
    };
    for (const PumpSoftwareVersion& version : {kOlder, kParameterWrites}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.box);
            MaskSelections s = MaskSelections::defaults();
            s.set(c.row, c.column, c.index);
            s.set(c.row + 1, c.column, -1);  // a later bad box: the first one is named
            ObdMasks masks;
            const MaskCommand command = (masks.*c.download)(s, version);
            ASSERT_TRUE(command.invalid.has_value());
            EXPECT_STREQ(command.invalid->boxName, c.box);
            EXPECT_EQ(command.invalid->row, c.row);
            EXPECT_EQ(command.invalid->column, c.column);
            EXPECT_EQ(command.invalid->operatorMessage, 37);
            EXPECT_TRUE(command.telegrams.empty());
            EXPECT_FALSE(command.enterTestModeFirst);
            EXPECT_FALSE(command.lastDownloadId.has_value());
        }
    }
    // Nothing was recorded as sent: an echo of the all-bits value is not taken for a download.
    MaskSelections s = MaskSelections::defaults();
    s.set(3, MaskColumn::AirUnit, -1);
    ObdMasks masks;
    masks.downloadAirUnit(s, kOlder);
    EXPECT_EQ(masks.onAirUnitReply(170, 0x07FFFFFF).acceptance, ReplyAcceptance::NotAccepted);
    EXPECT_FALSE(masks.pumpMasks().airUnit.has_value());
}
