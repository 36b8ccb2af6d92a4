#pragma once
// The round status indicators of the diagnostic windows show one of two colours; the pure code
// says which by name and the window paints it.

enum class IndicatorState {
    Red,    // a cause is active, or nothing is known (at start and after a clear)
    Green,  // the condition is clear, or the sensor announced itself
};

inline const char* toString(IndicatorState state) {
    return state == IndicatorState::Red ? "Red" : "Green";
}
