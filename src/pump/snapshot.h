#pragma once
// The configuration snapshot record: buildSnapshot composes the 90 bytes from what the installer
// window shows as read back from the pump and the pump values last received; applySnapshot turns
// a record into the entry fields and selection boxes it loads (never the read-back labels, and
// nothing is sent to the pump). The record layout and the "not known" markers are in
// pump/snapshot_layout.h; the file format is in pump/snapshot_file.h.
//
// Saving is all or nothing: a label whose condition holds but that shows no number (still "?")
// refuses the whole record with a message that names it, before any file is touched.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pump/number_format.h"
#include "pump/obd_masks.h"
#include "pump/snapshot_layout.h"
#include "pump/software_version.h"
#include "pump/status_pages.h"

using SnapshotRecord = std::array<uint8_t, snapshot::kRecordSize>;

// Which conditional fields a save fills and a load applies.
struct SnapshotConditions {
    bool extended = false;  // `gbExtendedConfig` is visible
    bool ureaTank = false;  // `pUreaTankTemperatureSettings` is visible

    // What the access level and the pump's software version leave visible: the extended group at
    // the extended level from software 0.06 on, the urea tank settings with it from 0.09 on.
    static SnapshotConditions of(int accessLevel, const PumpSoftwareVersion& version);
    friend bool operator==(const SnapshotConditions&, const SnapshotConditions&) = default;
};

// What the installer window holds for a save. Labels are taken as they show, in the operator's
// decimal separator; pump values are nothing until the pump reported them.
struct SnapshotSource {
    PumpSoftwareVersion pumpSoftwareVersion;

    // Selection boxes, item index.
    int externalHeaterSelection = 0;  // `cbExternalHeaterSelection`
    int monitorTankHeater = 1;        // `cbMonitorTankHeater`
    int monitorLineHeater = 1;        // `cbMonitorLineHeater`

    // Read-back labels, always saved.
    std::string tankUpperLimit = "?";                // `lTankUpperLimit`
    std::string tankLowerLimit = "?";                // `lTankLowerLimit`
    std::string defreezeLimit = "?";                 // `lExtHeater_DefreezeLimit_Value`
    std::string conversionRatioReduced = "?";        // `lConversionRatioReduced`
    std::string conversionRatioThreshold = "?";      // `lConversionRatioThreshold`
    std::string conversionRatioAveragePeriod = "?";  // `lConversionRatioAvaragePeriod`
    std::string blockedNozzleRestart = "?";          // `lBlockedNozzleSetupRestart`
    std::string conversionGain = "?";                // `lConversionGain`
    std::string catalystVolume = "?";                // `lCatalystVolume`
    std::string catalystLength = "?";                // `lCatalystLength`
    std::string mafFactor = "?";                     // `lMafFactor`
    // Read-back labels of the extended group.
    std::string ecmCanAddress = "?";          // `lECMcanAdrConfiguration`
    std::string mafAtIdleSpeed = "?";         // `lMAFatIdleSpeed`
    std::string levelSensorLowLimit = "?";    // `lLevelSensor_LowLimit_Value`, ohm
    std::string levelSensorEmptyLimit = "?";  // `lLevelSensor_EmptyLimit_Value`, ohm
    // Read-back labels of the urea tank temperature settings.
    std::string ureaTankMaxStop = "?";     // `lUreaTankMaxStop`
    std::string ureaTankMaxRestart = "?";  // `lUreaTankMaxRestart`
    std::string ureaTankMinStop = "?";     // `lUreaTankMinStop`
    std::string ureaTankMinRestart = "?";  // `lUreaTankMinRestart`

    // Pump values last received.
    std::optional<uint8_t> pumpLevelSensorSetup;  // `PumpLevelSensorSetup`
    std::optional<uint8_t> pumpTlOutputSetup;     // `PumpTlOutputSetup`
    std::optional<std::array<uint8_t, snapshot::kInstallerSettingsSize>>
        pumpInstallerSettings;  // `PumpInstallerSettings`
    PumpMaskValues pumpMasks;   // ObdMasks::pumpMasks()
};

// Why a save was refused: a text for the operator and the control it is about.
struct SnapshotError {
    std::string message;
    const char* objectName = nullptr;
};

struct SnapshotBuild {
    std::optional<SnapshotRecord> record;  // set when the save may go on
    std::optional<SnapshotError> error;    // set otherwise
};

// Fields whose condition fails are still filled from what the tool holds, and with their "not
// known" marker where it holds nothing, so a later load under other conditions never applies an
// invented value. Bytes 0-29 and bits 3-7 of byte 30 are 0.
SnapshotBuild buildSnapshot(const SnapshotSource& source, const SnapshotConditions& conditions,
                            const DisplayFormat& format = DisplayFormat::system());

// What a load writes into the installer window, in this order: the edits, then the selection
// boxes (run each box's change handling as if the operator had chosen the item), then the mask
// grid's boxes.
struct SnapshotApplication {
    std::vector<EditText> edits;
    std::vector<ComboSelection> selections;
    std::vector<MaskSelectionUpdate> maskSelections;
};

// Fields whose condition fails are left alone, and so is every field that holds its "not known"
// marker, an index its box does not have (a torque-limiter setup 2, "Circuit Breaker", an
// OBD action 3) or an idle threshold that cannot be computed (divider 0).
SnapshotApplication applySnapshot(const SnapshotRecord& record,
                                  const SnapshotConditions& conditions,
                                  const PumpSoftwareVersion& pumpSoftwareVersion,
                                  const DisplayFormat& format = DisplayFormat::system());
