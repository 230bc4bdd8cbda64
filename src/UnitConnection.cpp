#include "UnitConnection.h"

#include "ComPortAPI.h"
#include "RavelinFwUpgrade.h"

bool connectsWithoutProbe(const CommandLine &line)
{
    return line.port != 0 && line.baud != 0;
}

bool connectAsChosen(const CommandLine &line)
{
    ComPortAPI_SetHardwareFlowControl(0);
    if (connectsWithoutProbe(line)) {
        // No port is open: the rate is recorded, and the open applies it.
        ComPortAPI_SetBaudRate(line.baud);
        if (!ComPortAPI_OpenCOM(line.port)) {
            return false;
        }
        gComPortNumber = line.port;
        gBaudRate = line.baud;
        return true;
    }
    const int firstPort = line.port != 0 ? line.port : 1;
    const int lastPort = line.port != 0 ? line.port : DISCOVERY_LAST_COM_PORT;
    if (line.baud != 0) {
        return detectUnitAmong(firstPort, lastPort, &line.baud, 1);
    }
    return detectUnitAmong(firstPort, lastPort, kTrialBaudRates, TRIAL_BAUD_RATE_COUNT);
}

std::string comPortName(int comPort)
{
    return "COM" + std::to_string(comPort);
}

std::string chosenPortName(const CommandLine &line)
{
    return line.port != 0 ? comPortName(line.port) : "";
}

std::string searchedPlaces(const CommandLine &line)
{
    std::string places = line.port != 0 ? comPortName(line.port)
                                        : "COM1..COM" + std::to_string(DISCOVERY_LAST_COM_PORT);
    if (line.baud != 0) {
        places += " at " + std::to_string(line.baud) + " baud";
    }
    return places;
}
