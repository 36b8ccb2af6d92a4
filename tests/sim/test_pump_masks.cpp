// The simulated pump's OBD masks and DM1 support flag in both generations: one store behind the
// dedicated codes 164 to 171 and the parameters 11, 12, 30, 31 and 32. Telegrams are written out
// from the pump's byte tables.

#include <gtest/gtest.h>

#include "pump_bench.h"

using namespace pump_bench;

namespace {

Bytes parameter(uint8_t code, uint16_t id, uint32_t value = 0, uint8_t byte6 = 0) {
    return {uint8_t(id),          uint8_t(id >> 8),     uint8_t(value), uint8_t(value >> 8),
            uint8_t(value >> 16), uint8_t(value >> 24), byte6,          code};
}

Bytes miMasks(uint32_t onOff, uint32_t immSeq) {
    Bytes t(16, 0);
    t[7] = layout::code::kMiMasks;
    for (int i = 0; i < 4; ++i) {
        t[8 + i] = uint8_t(onOff >> (8 * i));
        t[12 + i] = uint8_t(immSeq >> (8 * i));
    }
    return t;
}

}  // namespace

// Written with parameter writes, read with the dedicated codes, and the other way round.
TEST(PumpMaskStore, BothGenerationsReadAndWriteTheSameMasks) {
    Bench bench;  // software 0.11
    inTestMode(bench);
    for (const Bytes& write : {parameter(172, 11, 0x067FFFF6), parameter(172, 12, 0x00491FFC),
                               parameter(172, 31, 0x05155157, 0), parameter(172, 31, 0x00140561, 1),
                               parameter(172, 32, 0x00000085), parameter(172, 30, 1)}) {
        auto echo = bench.ask(write);
        ASSERT_TRUE(echo.has_value());
        EXPECT_EQ(*echo, write);
    }
    auto mi = bench.ask(command(165));
    ASSERT_EQ(mi->size(), 16u);
    EXPECT_EQ(u32(*mi, 8), 0x067FFFF6u);
    EXPECT_EQ(u32(*mi, 12), 0x00491FFCu);
    auto word0 = bench.ask(command(169, 0, 0));
    EXPECT_EQ(u32(*word0, 0), 0x05155157u);
    EXPECT_EQ(word0->at(4), 0);
    auto word1 = bench.ask(command(169, 0, 1));
    EXPECT_EQ(u32(*word1, 0), 0x00140561u);
    EXPECT_EQ(word1->at(4), 1);
    EXPECT_EQ(u32(*bench.ask(command(171)), 0), 0x00000085u);
    EXPECT_EQ(bench.ask(command(167))->at(6), 1);

    ASSERT_EQ(bench.ask(miMasks(0x027F7FFE, 0x00091FFE))->at(7), 164);
    ASSERT_EQ(bench.ask(command(168, 0x0515555B, 0))->at(7), 168);
    ASSERT_EQ(bench.ask(command(168, 0x00240551, 1))->at(7), 168);
    ASSERT_EQ(bench.ask(command(170, 0x00000001))->at(7), 170);
    ASSERT_EQ(bench.ask(command(166, 0, 0, 0))->at(7), 166);
    const struct {
        uint16_t id;
        uint8_t index;
        uint32_t value;
    } reads[] = {{11, 0, 0x027F7FFE}, {12, 0, 0x00091FFE}, {31, 0, 0x0515555B},
                 {31, 1, 0x00240551}, {32, 0, 0x00000001}, {30, 0, 0}};
    for (const auto& r : reads) {
        auto answer = bench.ask(parameter(173, r.id, 0, r.index));
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(answer->at(7), 173);
        EXPECT_EQ(u16(*answer, 0), r.id);
        EXPECT_EQ(u32(*answer, 2), r.value) << r.id << "/" << int(r.index);
        if (r.id == 31) {
            EXPECT_EQ(answer->at(6), r.index);
        }
    }
    const PumpConfig& k = bench.pump().state().config;
    EXPECT_EQ(k.obdActionMask, 0x002405510515555Bull);
    EXPECT_FALSE(k.dm1Support);
}

// Downloads need the test mode and a whole telegram; reads are answered at any time. Word
// indexes past the two words are refused in every form.
TEST(PumpMaskStore, RefusedDownloadsLeaveTheMasksAlone) {
    Bench bench(withSoftware(0, 11));
    const PumpConfig before = bench.pump().state().config;
    const struct {
        const char* what;
        Bytes telegram;
    } refused[] = {
        {"164 outside test mode", miMasks(0, 0)},
        {"166 outside test mode", command(166, 0, 0, 1)},
        {"168 outside test mode", command(168, 0, 0)},
        {"170 outside test mode", command(170, 0)},
        {"172/11 outside test mode", parameter(172, 11, 0)},
    };
    for (const auto& r : refused) {
        EXPECT_EQ(bench.ask(r.telegram)->at(7), 255) << r.what;
    }
    for (uint8_t read : {165, 167, 169, 171}) {
        EXPECT_EQ(bench.ask(command(read))->at(7), read);
    }
    inTestMode(bench);
    const struct {
        const char* what;
        Bytes telegram;
    } refusedInTest[] = {
        {"164 of 8 bytes", command(164, 0, 0)},
        {"166 with state 2", command(166, 0, 0, 2)},
        {"168 index 2", command(168, 0, 2)},
        {"173/31 index 2", parameter(173, 31, 0, 2)},
    };
    for (const auto& r : refusedInTest) {
        EXPECT_EQ(bench.ask(r.telegram)->at(7), 255) << r.what;
    }
    const PumpConfig& after = bench.pump().state().config;
    EXPECT_EQ(after.onOffMask, before.onOffMask);
    EXPECT_EQ(after.immSeqMask, before.immSeqMask);
    EXPECT_EQ(after.obdActionMask, before.obdActionMask);
    EXPECT_EQ(after.airUnitMask, before.airUnitMask);
    EXPECT_EQ(after.dm1Support, before.dm1Support);
}

TEST(PumpMaskStore, PumpsBefore011TakeNoMaskParameters) {
    for (uint8_t id : {11, 12, 30, 31, 32}) {
        Bench bench(withSoftware(0, 10));
        inTestMode(bench);
        EXPECT_EQ(bench.ask(parameter(172, id, 0x2))->at(7), 255) << int(id);
        EXPECT_EQ(bench.ask(parameter(173, id))->at(7), 255) << int(id);
    }
}

// An older pump that cannot switch DM1 support answers with the state it keeps.
TEST(PumpMaskStore, FixedDm1SupportAnswersWithTheStateItKeeps) {
    PumpOptions options = withSoftware(0, 8);
    options.dm1SupportFixed = true;
    Bench bench(options);
    inTestMode(bench);
    auto reply = bench.ask(command(166, 0, 0, 1));
    EXPECT_EQ(reply->at(7), 166);
    EXPECT_EQ(reply->at(6), 0);
    EXPECT_EQ(bench.ask(command(167))->at(6), 0);
    EXPECT_FALSE(bench.pump().state().config.dm1Support);
}
