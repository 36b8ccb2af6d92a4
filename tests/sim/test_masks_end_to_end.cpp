// The tool's mask core against the simulated pump: the commands it builds go to the pump, the
// pump's replies go back through the tool's reply rules. Masks are written and read back in both
// generations, and a snapshot saved from one pump is loaded and downloaded to a pump of the other
// generation.

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>

#include "pump/obd_masks.h"
#include "pump/snapshot.h"
#include "pump/snapshot_file.h"
#include "pump_bench.h"

using namespace pump_bench;

namespace {

const DisplayFormat kPoint{'.', "%Y-%m-%d"};

// The tool's side of the mask tabs on one bench: queues a command's telegrams one at a time,
// waits for each reply and hands it to the reply rules, as the scheduler and decoder do.
class MaskTool {
  public:
    MaskTool(Bench& bench, PumpSoftwareVersion version) : bench_(bench), version_(version) {}

    ObdMasks masks;
    MaskSelections boxes = MaskSelections::defaults();

    // Runs a command; true when every reply was accepted.
    bool run(const MaskCommand& command) {
        EXPECT_FALSE(command.invalid.has_value());
        if (command.enterTestModeFirst && bench_.pump().state().testModeLevel == 0) {
            inTestMode(bench_);
        }
        bool all = true;
        for (const OutgoingTelegram& t : command.telegrams) {
            const Bytes sent(t.data().begin(), t.data().end());
            const auto reply = bench_.ask(sent);
            if (!reply) {
                return false;
            }
            all = handle(sent, *reply) && all;
        }
        return all;
    }

    MaskCommand downloadAll(MaskCommand (ObdMasks::*download)(const MaskSelections&,
                                                              const PumpSoftwareVersion&)) {
        return (masks.*download)(boxes, version_);
    }

  private:
    bool handle(const Bytes& sent, const Bytes& reply) {
        const uint8_t code = reply.at(7);
        MaskReply r;
        switch (code) {
            case 164:
            case 165:
                r = masks.onMiMasksReply(code, std::span(reply).subspan(8));
                break;
            case 168:
            case 169:
                r = masks.onObdActionWordReply(code, u32(reply, 0), reply.at(4));
                break;
            case 170:
            case 171:
                r = masks.onAirUnitReply(code, u32(reply, 0));
                break;
            case 166:
            case 167:
                r = masks.onDm1Reply(code, reply.at(6));
                break;
            case 172:
            case 173: {
                // A parameter echo counts only when it repeats the 8 bytes sent.
                if (code == 172 && !std::equal(sent.begin(), sent.begin() + 8, reply.begin())) {
                    return false;
                }
                const auto p = masks.onMaskParameter(reply);
                if (!p) {
                    return false;
                }
                r = *p;
                break;
            }
            default:
                return false;
        }
        for (const ColumnFill& fill : r.fills) {
            applyMaskSelections(boxes, fill.selections);
        }
        return r.acceptance == ReplyAcceptance::Accepted;
    }

    Bench& bench_;
    PumpSoftwareVersion version_;
};

// The pump's masks as the tests set them: every column differs from its default.
constexpr uint32_t kOnOff = 0x067FFFF6;
constexpr uint32_t kImmSeq = 0x00491FFC;
constexpr uint64_t kObdAction = 0x0014056105155157;
constexpr uint32_t kAirUnit = 0x00000085;

void setBoxesTo(MaskSelections& boxes, uint32_t onOff, uint32_t immSeq, uint64_t action,
                uint32_t airUnit) {
    for (int row = 1; row <= 26; ++row) {
        boxes.set(row, MaskColumn::OnOff, (onOff >> row) & 1);
        boxes.set(row, MaskColumn::ImmSeq, (immSeq >> row) & 1);
        boxes.set(row, MaskColumn::ObdAction, int((action >> (2 * row)) & 3));
        boxes.set(row, MaskColumn::AirUnit, (airUnit >> row) & 1);
    }
}

}  // namespace

class MaskGenerations : public testing::TestWithParam<PumpSoftwareVersion> {};

TEST_P(MaskGenerations, WrittenMasksArriveAndReadBack) {
    const PumpSoftwareVersion version = GetParam();
    Bench bench(withSoftware(version.major, version.minor));
    MaskTool tool(bench, version);
    setBoxesTo(tool.boxes, kOnOff, kImmSeq, kObdAction, kAirUnit);

    EXPECT_TRUE(tool.run(tool.downloadAll(&ObdMasks::downloadMiMasks)));
    EXPECT_TRUE(tool.run(tool.downloadAll(&ObdMasks::downloadObdAction)));
    EXPECT_TRUE(tool.run(tool.downloadAll(&ObdMasks::downloadAirUnit)));
    EXPECT_TRUE(tool.run(tool.masks.switchDm1(true, version)));
    const PumpConfig& k = bench.pump().state().config;
    EXPECT_EQ(k.onOffMask, kOnOff);
    EXPECT_EQ(k.immSeqMask, kImmSeq);
    EXPECT_EQ(k.obdActionMask, kObdAction);
    EXPECT_EQ(k.airUnitMask, kAirUnit);
    EXPECT_TRUE(k.dm1Support);

    // A second tool, boxes at their defaults, reads everything back into its boxes.
    MaskTool reader(bench, version);
    EXPECT_TRUE(reader.run(reader.masks.readMiMasks(true)));
    EXPECT_TRUE(reader.run(reader.masks.readObdAction(true)));
    EXPECT_TRUE(reader.run(reader.masks.readAirUnit(true)));
    EXPECT_TRUE(reader.run(reader.masks.checkDm1()));
    EXPECT_EQ(reader.boxes, tool.boxes);
    const PumpMaskValues& pump = reader.masks.pumpMasks();
    EXPECT_EQ(pump.onOff, kOnOff);
    EXPECT_EQ(pump.immSeq, kImmSeq);
    EXPECT_EQ(pump.obdActionWords[0], uint32_t(kObdAction));
    EXPECT_EQ(pump.obdActionWords[1], uint32_t(kObdAction >> 32));
    EXPECT_EQ(pump.airUnit, kAirUnit);
}

INSTANTIATE_TEST_SUITE_P(AgainstPump, MaskGenerations,
                         testing::Values(PumpSoftwareVersion{0, 8}, PumpSoftwareVersion{0, 11}),
                         [](const auto& info) {
                             return "minor" + std::to_string(info.param.minor);
                         });

TEST(MasksAgainstPump, Dm1EnableToAPumpThatCannotSwitchIsNotConfirmed) {
    PumpOptions options = withSoftware(0, 8);
    options.dm1SupportFixed = true;
    Bench bench(options);
    MaskTool tool(bench, {0, 8});
    EXPECT_FALSE(tool.run(tool.masks.switchDm1(true, {0, 8})));
    EXPECT_TRUE(tool.run(tool.masks.checkDm1()));
}

// A snapshot saved from a pump of software 0.08 is loaded into a fresh window and downloaded to
// a pump of software 0.11, which then holds the first pump's masks.
TEST(MasksAgainstPump, SnapshotCarriesTheMasksToAPumpOfTheOtherGeneration) {
    Bench first(withSoftware(0, 8));
    PumpConfig& k = first.pump().mutableState().config;
    k.onOffMask = kOnOff;
    k.immSeqMask = kImmSeq;
    k.obdActionMask = kObdAction;
    k.airUnitMask = kAirUnit;
    MaskTool saving(first, {0, 8});
    ASSERT_TRUE(saving.run(saving.masks.readMiMasks(false)));
    ASSERT_TRUE(saving.run(saving.masks.readObdAction(false)));
    ASSERT_TRUE(saving.run(saving.masks.readAirUnit(false)));

    SnapshotSource source;
    source.pumpSoftwareVersion = {0, 8};
    for (std::string* label :
         {&source.tankUpperLimit, &source.tankLowerLimit, &source.defreezeLimit,
          &source.conversionRatioAveragePeriod, &source.blockedNozzleRestart, &source.mafFactor,
          &source.ecmCanAddress, &source.mafAtIdleSpeed, &source.levelSensorLowLimit,
          &source.levelSensorEmptyLimit}) {
        *label = "100";
    }
    source.conversionRatioReduced = "5.00";
    source.conversionRatioThreshold = "7.00";
    source.conversionGain = "1";
    source.catalystVolume = "25";
    source.catalystLength = "300";
    source.pumpMasks = saving.masks.pumpMasks();
    const SnapshotBuild build = buildSnapshot(source, {true, false}, kPoint);
    ASSERT_TRUE(build.record.has_value()) << build.error->message;
    const SnapshotRead file = decodeSnapshotFile(encodeSnapshotFile(*build.record), "a.nox");
    ASSERT_TRUE(file.record.has_value()) << file.error;

    Bench second;  // software 0.11, default masks
    MaskTool loading(second, {0, 11});
    const SnapshotApplication loaded = applySnapshot(*file.record, {true, true}, {0, 11}, kPoint);
    applyMaskSelections(loading.boxes, loaded.maskSelections);
    EXPECT_TRUE(loading.run(loading.downloadAll(&ObdMasks::downloadMiMasks)));
    EXPECT_TRUE(loading.run(loading.downloadAll(&ObdMasks::downloadObdAction)));
    EXPECT_TRUE(loading.run(loading.downloadAll(&ObdMasks::downloadAirUnit)));
    const PumpConfig& got = second.pump().state().config;
    EXPECT_EQ(got.onOffMask, kOnOff);
    EXPECT_EQ(got.immSeqMask, kImmSeq);
    EXPECT_EQ(got.obdActionMask, kObdAction);
    EXPECT_EQ(got.airUnitMask, kAirUnit);
    // The parameter echoes told the second tool what the pump now holds.
    EXPECT_EQ(loading.masks.pumpMasks().onOff, kOnOff);
    EXPECT_EQ(loading.masks.pumpMasks().airUnit, kAirUnit);
}
