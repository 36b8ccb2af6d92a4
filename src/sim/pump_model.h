#pragma once
// What the simulated pump knows about itself: its options, the faults that can be injected, its
// installation configuration and its live state. Plain data; the behaviour is in SimulatedPump.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/pump_layout.h"

namespace sim {

enum class Fault {
    Silence,           // the pump stops putting anything on the bus
    DropReplies,       // the first answer to every new reply is lost
    StaleReplies,      // the reply buffer updates only some time after the command
    CorruptEcho,       // echoes of downloads come back with one bit flipped
    TpStall,           // the first transfer of every long reply stops half-way
    ClaimToolAddress,  // another node claims the tool's address 249
    Reply255,          // every command is answered "not acknowledged"
    UpstreamSilent,    // the upstream NOx sensor stops sending
    DownstreamSilent,  // the downstream NOx sensor stops sending
    ErrorLogNotReady,  // error-log records answer "not ready yet" for a while first
    NozzleBlocked,     // component fault: the nozzle is blocked
    UreaEmpty,         // component fault: the urea tank is empty
    EcmTimeout,        // component fault: the engine controller is silent
    ValveStuck,        // the dosing valve no longer moves: it reports where it is stuck
};
inline constexpr int kFaultCount = 14;

std::string_view faultName(Fault fault);
std::optional<Fault> faultFromName(std::string_view name);
std::vector<std::string_view> faultNames();

struct SoftwareVersion {
    uint8_t major = 0;
    uint8_t minor = 11;
    int number() const { return major * 100 + minor; }
    // Reply 1 tells final test from customer access.
    bool customerAccess() const { return minor >= 11 || major >= 1; }
    // Page 216.
    bool installerPage() const { return minor >= 6 || major >= 1; }
    // Parameter reads 173 (and writes 172) of the urea tank limits 0 and 1.
    bool parameterReadout() const { return number() >= 9; }
    // The old configuration image 147; from 0.06 on the new image 163.
    bool oldLayout() const { return major == 0 && minor <= 5; }
    // Every parameter 0..32 through 172/173.
    bool parameterWrites() const { return minor >= 11 || major >= 1; }
};
// "0.11", "1.02", "0.5" (minor 5). nullopt for anything else.
std::optional<SoftwareVersion> parseSoftwareVersion(std::string_view text);

struct PumpOptions {
    uint8_t address = 61;
    SoftwareVersion software{};
    bool sensors = true;
    uint32_t tpGapMs = 5;  // between the packets of a long reply
    uint32_t seed = 1;
    std::array<bool, kFaultCount> faults{};
    uint32_t staleReplyMs = 300;        // StaleReplies: how long the old reply stays
    uint32_t errorLogNotReadyMs = 150;  // ErrorLogNotReady: how long a record takes
    bool customerAccessMode = false;    // reply 1 says customer access (0.11 on)
    // An older pump whose DM1 support cannot be switched: it answers command 166 with the state
    // it keeps, whatever it was asked for.
    bool dm1SupportFixed = false;
    // Records in the error log at power-on, up to layout::elog::kCapacity.
    uint16_t errorLogRecords = layout::elog::kDefaultRecords;
    // What the pump really delivers for 1000 parts asked, before any user calibration: this one
    // doses 4 % too much, so a calibration run fills the bucket with about 1040 g.
    uint16_t deliveryPermille = 1040;

    bool fault(Fault f) const { return faults[static_cast<int>(f)]; }
    void setFault(Fault f, bool on = true) { faults[static_cast<int>(f)] = on; }
};

// The installation configuration as the pump stores it.
struct PumpConfig {
    uint16_t mafFactor = 120;
    uint16_t installDate = 22 | (6 << 7) | (14 << 11);  // packed: year-2000, month, day
    uint32_t dashboard = 154321;
    uint8_t heaterBits = 0x07;  // bit 0 external heater, 1 monitor tank, 2 monitor line
    int8_t heaterUpper = 10;
    int8_t heaterLower = -5;
    int8_t defreeze = -12;
    uint16_t conversionReduced = 500;
    uint16_t conversionThreshold = 700;
    uint8_t conversionPeriod = 20;
    uint16_t conversionGain = 10000;
    uint8_t blockedNozzleRestart = 10;
    uint16_t catalystVolume = 250;   // 0.1 l
    uint16_t catalystLength = 3000;  // 0.1 mm
    std::string vin = "DSRSIM12345678901";
    uint8_t ecmAddress = 0;
    uint16_t minimumMaf = 40;
    uint16_t levelLowLimit = 236;    // about 300 ohm
    uint16_t levelEmptyLimit = 133;  // about 150 ohm
    uint8_t levelSensorSetup = 1;
    uint8_t tlOutputSetup = 0;
    // Installer settings block (page 216).
    uint8_t purgeSequencesMinus1 = 2;
    uint8_t valveOpenTime = 5;
    uint8_t valveCloseTime = 3;
    uint8_t downstreamNox = 1;
    uint8_t udsSurveillance = 0;  // 0..3: bit 0 enable, bit 1 OBD only
    uint8_t mafSignal = 0;
    uint8_t conversionRatioSelection = 1;
    uint8_t repeatingPrime = 0;
    uint8_t ureaTankTempSetup = 1;
    uint8_t engineSpeedSetup = 1;
    uint8_t ureaTankTempObd = 1;
    uint16_t idleThreshold = 300;
    uint16_t speedDivider = 1000;
    // Urea tank temperature limits (parameters 0 and 1).
    int8_t ureaHighStop = 80;
    int8_t ureaHighRestart = 70;
    int8_t ureaLowStop = -30;
    int8_t ureaLowRestart = -25;
    // Calibration.
    uint16_t userCalibration = 1000;
    // OBD masks and DM1.
    uint32_t onOffMask = 0x027F7FFE;
    uint32_t immSeqMask = 0x00091FFE;
    uint64_t obdActionMask = 0x002405510515555Bull;
    uint32_t airUnitMask = 0x00000001;
    bool dm1Support = false;

    uint8_t installerSelections() const;   // page 216 byte 3
    uint8_t installerSelections2() const;  // page 216 byte 4
    void setInstallerSelections(uint8_t byte3, uint8_t byte4);
};

struct ErrorLogEntry {
    uint16_t component = 0;
    uint32_t timeStamp = 0;    // 2-minute units
    uint32_t errorTime = 0;    // s
    uint16_t engineSpeed = 0;  // 0.125 rpm
    int16_t pumpHeadTemp = 0;
    int16_t noxIn = 0;
    int16_t noxOut = 0;
    int16_t catInTemp = 0;
    int16_t catOutTemp = 0;
    int16_t maf = 0;
    uint32_t ureaFlow = 0;
    uint16_t averageConversion = 0;
    uint32_t stateWord = 0;
    uint8_t stateByte = 0;
};

// Live state, readable by tests.
struct PumpState {
    // Test mode: 0 normal, 1 final test, 2 customer access.
    uint8_t testModeLevel = 0;
    bool pumpRunning = true;  // in normal mode the pump doses on its own
    bool calibrationRun = false;
    uint32_t setFlow = 0;  // 0.01 ml/h, last code 5
    uint32_t flow = 0;     // 0.01 ml/h, what page 205 reports
    bool valveOpen = true;
    bool heaterTest = false;
    bool tankHeater = false;
    bool lineHeater = false;
    std::array<uint8_t, 4> lamps{};  // 0 MI, 1 urea, 2 lamp 3, 3 lamp 4
    bool diagnosticClearPending = false;
    // Water in the technician's bucket since the pump was last started in test mode: what the
    // nozzle delivered with the valve open. A calibration run (109) doses uncorrected; every other
    // run is corrected by the user calibration.
    double bucketGrams = 0;
    bool addressLost = false;  // gave way in an address claim contest
    PumpConfig config;

    // Identity.
    uint16_t factoryCalibration = 1234;
    uint16_t productionDate = 23 | (41 << 7);  // 2023, week 41
    uint32_t serial = 20231041;
    uint16_t typeNumberHigh = 1234;
    uint16_t typeNumberLow = 5678;
    uint8_t pumpSize = 2;
    uint8_t applicationType = 3;

    // Counters.
    uint32_t powerOns = 318;
    uint32_t totalStrokes = 4512000;
    uint32_t dosingCount = 4512000;
    uint64_t runningSeconds = 1401 * 3600 + 30 * 60;
    uint64_t dosingSeconds = 980 * 3600;
    uint64_t obdSeconds = 0;
    uint32_t minimumFlow = 750;
    uint32_t maximumFlow = 650000;
    int8_t maxPcbTemp = 61;
    int8_t minPcbTemp = -18;
    uint32_t remainingMilOn = 0;
    uint8_t remainingSequences = 0;

    // Analog values, drifting.
    int16_t pumpHeadTemp = 254;  // 0.1 degC
    int8_t pcbTemp = 34;
    int16_t catInTemp = 310;
    int16_t catOutTemp = 285;
    int8_t ureaTankTemp = 18;
    uint8_t battery = 55;  // 0.25 V
    uint16_t maf = 420;
    uint16_t conversionRatio = 86;  // x 100
    int16_t theoreticalNox = 780;
    uint16_t alternatorFrequency = 445;
    uint16_t levelCount = 610;

    // Torque limiter count-downs, s.
    uint16_t countdown5 = 5;
    uint16_t countdown45 = 45;
    bool torqueLimiterActive = false;

    // NOx sensors as the pump received them.
    struct SensorView {
        std::array<uint8_t, 8> message{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        bool received = false;
        uint64_t lastMs = 0;
    };
    std::array<SensorView, 2> sensors{};

    std::array<uint16_t, layout::kEepromWords> eeprom{};
    std::vector<ErrorLogEntry> errorLog;
};

}  // namespace sim
