#include "Discovery.h"

#include <cstdio>

#include "ComPortAPI.h"
#include "UnitExchange.h"

int gComPortNumber = 0;
int gBaudRate = 0;

const int kTrialBaudRates[TRIAL_BAUD_RATE_COUNT] = {115200, 9600, 57600, 4800, 2400, 1200};

std::optional<UnitLink> detectUnitAmong(int firstPort, int lastPort, const int *rates, int rateCount)
{
    char ResponseExpected[100];
    snprintf(ResponseExpected, sizeof ResponseExpected, "%s", DISCOVERY_EXPECTED_REPLY);

    for (int i = firstPort; i <= lastPort; ++i) {
        if (!ComPortAPI_ProbeCOM(i)) {
            gComPortNumber = 0;
            gBaudRate = 0;
            continue;
        }
        gComPortNumber = i;
        ComPortAPI_CloseCOM();

        for (int r = 0; r < rateCount; ++r) {
            const int rate = rates[r];
            // No port is open here: the rate is only recorded, and the open applies it.
            ComPortAPI_SetBaudRate(rate);
            if (!ComPortAPI_OpenCOM(i)) {
                continue;
            }
            gBaudRate = rate;
            if (sendCommand(DISCOVERY_PROBE_COMMAND, 0, 1, ResponseExpected) ||
                sendCommand(DISCOVERY_PROBE_COMMAND, 0, 1, ResponseExpected)) {
                return UnitLink{i, rate};
            }
            ComPortAPI_CloseCOM();
        }
    }
    return std::nullopt;
}

BOOL detectComPortAndBaudrate(void)
{
    return detectUnitAmong(1, DISCOVERY_LAST_COM_PORT, kTrialBaudRates, TRIAL_BAUD_RATE_COUNT).has_value();
}
