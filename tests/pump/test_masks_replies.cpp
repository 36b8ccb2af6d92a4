// What the pump's mask and DM1 replies do: which are taken, what they store, what the grid and
// the selection boxes show. Replies are written out byte by byte.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pump/obd_masks.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr PumpSoftwareVersion kOlder{0, 10};

// The 16-byte body of replies 164 and 165 from telegram byte 8: both masks.
Bytes miBody(uint32_t onOff, uint32_t immSeq) {
    Bytes b(8);
    for (int i = 0; i < 4; ++i) {
        b[i] = static_cast<uint8_t>(onOff >> (8 * i));
        b[4 + i] = static_cast<uint8_t>(immSeq >> (8 * i));
    }
    return b;
}

Bytes parameter(uint16_t id, uint32_t value, uint8_t byte6 = 0, uint8_t code = 172) {
    return {uint8_t(id),          uint8_t(id >> 8),     uint8_t(value), uint8_t(value >> 8),
            uint8_t(value >> 16), uint8_t(value >> 24), byte6,          code};
}

std::vector<std::string> cellTexts(const ColumnFill& fill) {
    std::vector<std::string> out;
    for (const auto& c : fill.cells) {
        out.push_back(std::to_string(c.row) + "=" + c.text);
    }
    return out;
}

// The texts of rows first..last of a column as the grid shows them.
std::vector<std::string> texts(int first, int last, const std::vector<const char*>& items) {
    std::vector<std::string> out;
    for (int row = first; row <= last; ++row) {
        out.push_back(std::to_string(row) + "=" + items[row - first]);
    }
    return out;
}

}  // namespace

TEST(MaskFill, ColumnShowsItemTextsAndSetsBoxesOnlyWhenAsked) {
    // Rows 1, 3 and 26 set.
    const ColumnFill onOff = fillColumn(MaskColumn::OnOff, 0x0400000A, true);
    ASSERT_EQ(onOff.cells.size(), 26u);
    EXPECT_EQ(onOff.cells[0].text, "YES");
    EXPECT_EQ(onOff.cells[1].text, "NO");
    EXPECT_EQ(onOff.cells[2].text, "YES");
    EXPECT_EQ(onOff.cells[25].text, "YES");
    ASSERT_EQ(onOff.selections.size(), 26u);
    EXPECT_EQ(onOff.selections[2].row, 3);
    EXPECT_EQ(onOff.selections[2].column, MaskColumn::OnOff);
    EXPECT_EQ(onOff.selections[2].index, 1);
    EXPECT_STREQ(onOff.selections[2].boxName, "ComboBox3");
    EXPECT_EQ(onOff.selections[1].index, 0);

    const ColumnFill imm = fillColumn(MaskColumn::ImmSeq, 0x00000002, false);
    EXPECT_EQ(imm.cells[0].text, "SEQ");
    EXPECT_EQ(imm.cells[1].text, "IMM");
    EXPECT_TRUE(imm.selections.empty());
}

// A bit pair of 3 has no item: its cell shows the fallback and the rows after it still fill.
TEST(MaskFill, ActionPairWithoutItemShowsTheFallbackAndFillingGoesOn) {
    // Row 1 = 3, row 2 = 2, row 3 = 1, row 4 = 0, row 5 = 3, the rest 0.
    const uint64_t mask =
        0x3 | (uint64_t(3) << 2) | (uint64_t(2) << 4) | (uint64_t(1) << 6) | (uint64_t(3) << 10);
    const ColumnFill fill = fillColumn(MaskColumn::ObdAction, mask, true);
    ASSERT_EQ(fill.cells.size(), 26u);
    const std::vector<std::string> all = cellTexts(fill);
    const std::vector<std::string> head(all.begin(), all.begin() + 6);
    EXPECT_EQ(head, (std::vector<std::string>{"1=Invalid value: 3", "2=Pump OFF", "3=Purge",
                                              "4=None", "5=Invalid value: 3", "6=None"}));
    EXPECT_EQ(fill.cells[25].text, "None");
    // Rows 1 and 5 keep their boxes; the 24 others are set.
    ASSERT_EQ(fill.selections.size(), 24u);
    for (const auto& s : fill.selections) {
        EXPECT_NE(s.row, 1);
        EXPECT_NE(s.row, 5);
    }
    MaskSelections boxes = MaskSelections::defaults();
    applyMaskSelections(boxes, fill.selections);
    EXPECT_EQ(boxes.at(1, MaskColumn::ObdAction), 2);  // default Pump OFF kept
    EXPECT_EQ(boxes.at(2, MaskColumn::ObdAction), 2);
    EXPECT_EQ(boxes.at(3, MaskColumn::ObdAction), 1);
    EXPECT_EQ(boxes.at(4, MaskColumn::ObdAction), 0);
    EXPECT_EQ(boxes.at(5, MaskColumn::ObdAction), 1);  // default Purge kept
}

TEST(MaskReplies, MiMasksEchoIsTakenOnlyWhenItRepeatsTheMasksSent) {
    ObdMasks masks;
    masks.downloadMiMasks(MaskSelections::defaults(), kOlder);

    // The pump kept something else: stored as the pump's masks, but the download is not done.
    MaskReply other = masks.onMiMasksReply(164, miBody(0x027F7FFC, 0x00091FFE));
    EXPECT_EQ(other.acceptance, ReplyAcceptance::NotAccepted);
    EXPECT_TRUE(other.fills.empty());
    EXPECT_EQ(masks.pumpMasks().onOff, 0x027F7FFCu);

    MaskReply echo = masks.onMiMasksReply(164, miBody(0x027F7FFE, 0x00091FFE));
    EXPECT_EQ(echo.acceptance, ReplyAcceptance::Accepted);
    ASSERT_EQ(echo.fills.size(), 2u);
    EXPECT_EQ(echo.fills[0].column, MaskColumn::OnOff);
    EXPECT_EQ(echo.fills[1].column, MaskColumn::ImmSeq);
    EXPECT_EQ(echo.fills[0].cells[14].text, "NO");   // row 15
    EXPECT_EQ(echo.fills[1].cells[0].text, "SEQ");   // row 1
    EXPECT_EQ(echo.fills[1].cells[12].text, "IMM");  // row 13
    EXPECT_EQ(masks.pumpMasks().onOff, 0x027F7FFEu);
    EXPECT_EQ(masks.pumpMasks().immSeq, 0x00091FFEu);

    // An echo with nothing sent is not a download of ours.
    ObdMasks fresh;
    EXPECT_EQ(fresh.onMiMasksReply(164, miBody(0, 0)).acceptance, ReplyAcceptance::NotAccepted);
}

TEST(MaskReplies, ReadQuestionDecidesWhetherTheBoxesFollowThePump) {
    for (bool overwrite : {true, false}) {
        ObdMasks masks;
        masks.readMiMasks(overwrite);
        const MaskReply reply = masks.onMiMasksReply(165, miBody(0x00000006, 0x00000004));
        EXPECT_EQ(reply.acceptance, ReplyAcceptance::Accepted);
        ASSERT_EQ(reply.fills.size(), 2u);
        for (const auto& fill : reply.fills) {
            EXPECT_EQ(fill.cells.size(), 26u);  // the grid always shows the pump's masks
            EXPECT_EQ(fill.selections.size(), overwrite ? 26u : 0u);
        }
    }
    // The first poll's read comes before any question: MaskOverwrite is still set.
    ObdMasks poll;
    EXPECT_TRUE(poll.maskOverwrite());
    EXPECT_EQ(poll.onMiMasksReply(165, miBody(1, 1)).fills[0].selections.size(), 26u);
}

TEST(MaskReplies, ShortMiMasksReplyIsIgnoredWhole) {
    for (uint8_t code : {164, 165}) {
        for (std::size_t size : {0, 4, 7}) {
            ObdMasks masks;
            masks.downloadMiMasks(MaskSelections::defaults(), kOlder);
            Bytes body = miBody(0x027F7FFE, 0x00091FFE);
            body.resize(size);
            const MaskReply reply = masks.onMiMasksReply(code, body);
            EXPECT_EQ(reply.acceptance, ReplyAcceptance::NotAccepted) << int(code) << " " << size;
            EXPECT_TRUE(reply.fills.empty());
            EXPECT_EQ(masks.pumpMasks(), PumpMaskValues{});
        }
    }
}

TEST(MaskReplies, ObdActionEchoesAreTakenWordByWord) {
    ObdMasks masks;
    masks.downloadObdAction(MaskSelections::defaults(), kOlder);

    // Word 0 as sent: taken, the column waits for word 1.
    MaskReply w0 = masks.onObdActionWordReply(168, 0x0515555B, 0);
    EXPECT_EQ(w0.acceptance, ReplyAcceptance::Accepted);
    EXPECT_TRUE(w0.fills.empty());
    // Word 1 differing from what was sent: ignored and not stored.
    MaskReply wrong = masks.onObdActionWordReply(168, 0x00240550, 1);
    EXPECT_EQ(wrong.acceptance, ReplyAcceptance::NotAccepted);
    EXPECT_FALSE(masks.pumpMasks().obdActionWords[1].has_value());
    // Word 0's value under index 1 is not word 1.
    EXPECT_EQ(masks.onObdActionWordReply(168, 0x0515555B, 1).acceptance,
              ReplyAcceptance::NotAccepted);

    MaskReply w1 = masks.onObdActionWordReply(168, 0x00240551, 1);
    EXPECT_EQ(w1.acceptance, ReplyAcceptance::Accepted);
    ASSERT_EQ(w1.fills.size(), 1u);
    EXPECT_EQ(w1.fills[0].column, MaskColumn::ObdAction);
    EXPECT_EQ(w1.fills[0].cells.size(), 26u);
    EXPECT_EQ(w1.fills[0].cells[0].text, "Pump OFF");   // row 1
    EXPECT_EQ(w1.fills[0].cells[10].text, "None");      // row 11
    EXPECT_EQ(w1.fills[0].cells[25].text, "Pump OFF");  // row 26
    EXPECT_EQ(masks.pumpMasks().obdActionWords[0], 0x0515555Bu);
    EXPECT_EQ(masks.pumpMasks().obdActionWords[1], 0x00240551u);
}

// Reads fill column 3 once word 1 is in, with the word 0 the pump sent last; before any word 0
// only the rows of word 1 change.
TEST(MaskReplies, Word1BeforeWord0FillsWithTheWordStoredBefore) {
    ObdMasks masks;
    masks.readObdAction(true);
    // Without a word 0: rows 16 to 26 only (word 1 bits 0-21), all "Purge".
    MaskReply first = masks.onObdActionWordReply(169, 0x00155555, 1);
    ASSERT_EQ(first.fills.size(), 1u);
    EXPECT_EQ(cellTexts(first.fills[0]),
              texts(16, 26,
                    {"Purge", "Purge", "Purge", "Purge", "Purge", "Purge", "Purge", "Purge",
                     "Purge", "Purge", "Purge"}));

    // Word 0 with every row "Pump OFF", then a new word 1 with every row "None".
    EXPECT_TRUE(masks.onObdActionWordReply(169, 0xAAAAAAAB, 0).fills.empty());
    MaskReply second = masks.onObdActionWordReply(169, 0x00000000, 1);
    ASSERT_EQ(second.fills.size(), 1u);
    const auto cells = cellTexts(second.fills[0]);
    ASSERT_EQ(cells.size(), 26u);
    EXPECT_EQ(cells[0], "1=Pump OFF");
    EXPECT_EQ(cells[14], "15=Pump OFF");
    EXPECT_EQ(cells[15], "16=None");
    EXPECT_EQ(cells[25], "26=None");
}

// An index past the two words would write beyond the mask: such replies change nothing.
TEST(MaskReplies, WordIndexAboveOneIsIgnored) {
    ObdMasks masks;
    masks.downloadObdAction(MaskSelections::defaults(), kOlder);
    for (uint8_t code : {168, 169}) {
        for (unsigned index : {2u, 255u}) {
            const MaskReply reply = masks.onObdActionWordReply(code, 0x0515555B, index);
            EXPECT_EQ(reply.acceptance, ReplyAcceptance::NotAccepted);
            EXPECT_TRUE(reply.fills.empty());
        }
    }
    masks.downloadObdAction(MaskSelections::defaults(), {0, 11});
    const auto reply = masks.onMaskParameter(parameter(31, 0x00240551, 2));
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->acceptance, ReplyAcceptance::NotAccepted);
    EXPECT_EQ(masks.pumpMasks(), PumpMaskValues{});
}

TEST(MaskReplies, AirUnitEchoMustMatchAndReadIsAlwaysTaken) {
    ObdMasks masks;
    masks.downloadAirUnit(MaskSelections::defaults(), kOlder);
    EXPECT_EQ(masks.onAirUnitReply(170, 0x00000003).acceptance, ReplyAcceptance::NotAccepted);
    EXPECT_FALSE(masks.pumpMasks().airUnit.has_value());
    const MaskReply echo = masks.onAirUnitReply(170, 0x00000001);
    EXPECT_EQ(echo.acceptance, ReplyAcceptance::Accepted);
    ASSERT_EQ(echo.fills.size(), 1u);
    EXPECT_EQ(echo.fills[0].column, MaskColumn::AirUnit);
    EXPECT_EQ(echo.fills[0].cells[0].text, "NO");

    const MaskReply read = masks.onAirUnitReply(171, 0x00000005);
    EXPECT_EQ(read.acceptance, ReplyAcceptance::Accepted);
    EXPECT_EQ(read.fills[0].cells[1].text, "YES");  // row 2
    EXPECT_EQ(masks.pumpMasks().airUnit, 0x00000005u);
}

TEST(Dm1Replies, SwitchIsConfirmedOnlyByTheStateAskedFor) {
    ObdMasks masks;
    // An older pump that cannot switch answers the enable with 0: no status, the scheduler
    // keeps asking.
    masks.switchDm1(true, kOlder);
    const MaskReply kept = masks.onDm1Reply(166, 0);
    EXPECT_EQ(kept.acceptance, ReplyAcceptance::NotAccepted);
    EXPECT_FALSE(kept.dm1Status.has_value());
    EXPECT_FALSE(kept.dm1StatusReceived);

    const MaskReply on = masks.onDm1Reply(166, 1);
    EXPECT_EQ(on.acceptance, ReplyAcceptance::Accepted);
    EXPECT_EQ(on.dm1Status, "Enabled");
    EXPECT_TRUE(on.dm1StatusReceived);

    masks.switchDm1(false, kOlder);
    EXPECT_EQ(masks.onDm1Reply(166, 1).acceptance, ReplyAcceptance::NotAccepted);
    EXPECT_EQ(masks.onDm1Reply(166, 0).dm1Status, "Disabled");

    // A switch echo nobody asked for is not taken.
    EXPECT_EQ(ObdMasks().onDm1Reply(166, 0).acceptance, ReplyAcceptance::NotAccepted);
}

TEST(Dm1Replies, CheckShowsTheStateTheStatusByteGives) {
    const struct {
        uint8_t state;
        const char* text;
    } cases[] = {{1, "Enabled"}, {0, "Disabled"}, {2, "Disabled"}, {255, "Disabled"}};
    for (const auto& c : cases) {
        const MaskReply r = ObdMasks().onDm1Reply(167, c.state);
        EXPECT_EQ(r.acceptance, ReplyAcceptance::Accepted);
        EXPECT_TRUE(r.dm1StatusReceived);
        EXPECT_EQ(r.dm1Status, c.text) << int(c.state);
        const auto p = ObdMasks().onMaskParameter(parameter(30, c.state, 0, 173));
        ASSERT_TRUE(p.has_value());
        EXPECT_EQ(p->dm1Status, c.text);
        EXPECT_FALSE(p->dm1StatusReceived);
    }
}

TEST(MaskParameters, MiMaskEchoesFillTheirColumnAndUpdateThePumpMasks) {
    ObdMasks masks;
    masks.readMiMasks(false);
    const auto onOff = masks.onMaskParameter(parameter(11, 0x00000002));
    ASSERT_TRUE(onOff.has_value());
    ASSERT_EQ(onOff->fills.size(), 1u);
    EXPECT_EQ(onOff->fills[0].column, MaskColumn::OnOff);
    EXPECT_EQ(onOff->fills[0].cells[0].text, "YES");
    EXPECT_EQ(onOff->fills[0].cells[1].text, "NO");
    EXPECT_TRUE(onOff->fills[0].selections.empty());
    const auto immSeq = masks.onMaskParameter(parameter(12, 0x00000004, 0, 173));
    ASSERT_TRUE(immSeq.has_value());
    EXPECT_EQ(immSeq->fills[0].column, MaskColumn::ImmSeq);
    EXPECT_EQ(immSeq->fills[0].cells[1].text, "SEQ");
    // A snapshot saved now holds what the pump has.
    EXPECT_EQ(masks.pumpMasks().onOff, 0x00000002u);
    EXPECT_EQ(masks.pumpMasks().immSeq, 0x00000004u);
}

TEST(MaskParameters, ActionAndAirUnitParametersMustRepeatWhatWasSent) {
    const PumpSoftwareVersion version{0, 11};
    ObdMasks masks;
    masks.downloadObdAction(MaskSelections::defaults(), version);
    masks.downloadAirUnit(MaskSelections::defaults(), version);

    EXPECT_EQ(masks.onMaskParameter(parameter(31, 0x0515555B, 1))->acceptance,
              ReplyAcceptance::NotAccepted);
    const auto w0 = masks.onMaskParameter(parameter(31, 0x0515555B, 0));
    EXPECT_EQ(w0->acceptance, ReplyAcceptance::Accepted);
    EXPECT_TRUE(w0->fills.empty());
    const auto w1 = masks.onMaskParameter(parameter(31, 0x00240551, 1));
    EXPECT_EQ(w1->acceptance, ReplyAcceptance::Accepted);
    ASSERT_EQ(w1->fills.size(), 1u);
    EXPECT_EQ(w1->fills[0].cells.size(), 26u);

    EXPECT_EQ(masks.onMaskParameter(parameter(32, 0x00000000))->acceptance,
              ReplyAcceptance::NotAccepted);
    const auto air = masks.onMaskParameter(parameter(32, 0x00000001));
    EXPECT_EQ(air->acceptance, ReplyAcceptance::Accepted);
    EXPECT_EQ(air->fills[0].column, MaskColumn::AirUnit);
    EXPECT_EQ(masks.pumpMasks().airUnit, 0x00000001u);

    // Other parameters and short telegrams are not mask telegrams.
    EXPECT_FALSE(masks.onMaskParameter(parameter(29, 1)).has_value());
    EXPECT_FALSE(masks.onMaskParameter(parameter(0x010B, 1)).has_value());
    const Bytes shortOne = {11, 0, 1, 0, 0, 0, 0};
    EXPECT_FALSE(masks.onMaskParameter(shortOne).has_value());
}
