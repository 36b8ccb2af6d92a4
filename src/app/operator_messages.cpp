#include "app/operator_messages.h"

#include <array>

namespace {
// Codes 16, 19 and 20 are completed by the caller's number.
constexpr std::array<const char*, kOperatorMessageCount> kTexts = {
    "Unable to Communicate with Pump",                                        // 0
    "Pump not in test mode. Please Logon",                                    // 1
    "Timeout - All EEPROM NOT Read",                                          // 2
    "Timeout - All EEPROM NOT written",                                       // 3
    "Value NOT downloaded correctly",                                         // 4
    "Timeout - Configuration NOT downloaded",                                 // 5
    "Timeout - Configuration NOT saved",                                      // 6
    "You must Prepare Calibration first",                                     // 7
    "Please enter valid MAF factor!",                                         // 8
    "Please enter valid catalyst volume!",                                    // 9
    "Please enter valid catalyst length!",                                    // 10
    "Please enter valid conversion gain!",                                    // 11
    "Please enter valid dashboard odometer value!",                           // 12
    "Please enter valid tank heater upper limit!",                            // 13
    "Please enter valid tank heater lower limit!",                            // 14
    "Please enter valid tank heater defreeze limit!",                         // 15
    "Error downloading Configuration! \n",                                    // 16
    "Please enter valid calibration factor!",                                 // 17
    "You can not download calibration factor while calibration is running!",  // 18
    "The pump does not support command: ",                                    // 19
    "Illegal command received: ",                                             // 20
    "Please enter valid calibration Cut Off temperatur!",                     // 21
    "Please enter valid catalyst hysteresis delta temperature!",              // 22
    "Please enter valid minumum urea flow!",                                  // 23
    "Please enter valid urea density!",                                       // 24
    "Please enter valid vehicle identification number!",                      // 25
    "Please enter valid conversion ratio reduced!",                           // 26
    "Please enter valid conversion ratio threshold!",                         // 27
    "Please enter valid conversion ratio averaging period!",                  // 28
    "Please enter valid blocked nozzle restart period",                       // 29
    "Please enter valid ECM CAN address",                                     // 30
    "Please enter valid minimum MAF value",                                   // 31
    "Please enter valid Low level limit",                                     // 32
    "Please enter valid Empty level limit",                                   // 33
    "Please enter a valid 'Valve Open time at purge' value",                  // 34
    "Please enter a valid 'Valve Close time at purge' value",                 // 35
    "Please enter a valid 'No of repetitions at purge' value",                // 36
    "Please choose valid setting from marked drop-down box!",                 // 37
    "Please enter a valid 'Engine speed idle threshold' value",               // 38
    "Please enter a valid 'Alternator to Engine speed signal ratio' value",   // 39
    "Temperature is out side valid range -40 - 120",                          // 40
};
}  // namespace

std::string operatorMessageText(int code, int number,
                                const std::function<std::string(int)>& notDownloadedText) {
    if (code < 0 || code >= kOperatorMessageCount) {
        return {};
    }
    std::string text = kTexts[code];
    if (code == 19 || code == 20) {
        text += std::to_string(number) + "!";
    } else if (code == 16 && notDownloadedText) {
        text += notDownloadedText(number);
    }
    return text;
}
