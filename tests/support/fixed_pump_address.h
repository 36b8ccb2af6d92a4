#pragma once
// A configured pump address that the test sets directly, counting how often the receive path asks.

#include "comm/connection_state.h"

class FixedPumpAddress : public PumpAddressSource {
  public:
    explicit FixedPumpAddress(int address = 61) : address(address) {}
    int configuredPumpAddress() override {
        ++calls;
        return address;
    }
    int address;
    int calls = 0;
};
