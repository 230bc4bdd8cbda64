// The port records and what the module does without any port: no device is
// needed, so this runs on every platform.
#include <climits>
#include <string>

#include "ComPortAPI.h"
#include "PortRecordsFixture.h"

namespace {

using ComPortRecords = PortRecordsTest;

TEST_F(ComPortRecords, StartWithTheLineAndTimeoutSettingsOfTheTool)
{
    EXPECT_EQ(g_hCOM, nullptr);

    EXPECT_EQ(g_cto.ReadIntervalTimeout, 500u);
    EXPECT_EQ(g_cto.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(g_cto.ReadTotalTimeoutConstant, 500u);
    EXPECT_EQ(g_cto.WriteTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(g_cto.WriteTotalTimeoutConstant, 0u);

    EXPECT_EQ(g_dcb.DCBlength, sizeof(DCB));
    EXPECT_EQ(g_dcb.BaudRate, 9600u);
    EXPECT_EQ(g_dcb.fBinary, 1u);
    EXPECT_EQ(g_dcb.fParity, 0u);
    EXPECT_EQ(g_dcb.fOutxCtsFlow, 1u);
    EXPECT_EQ(g_dcb.fOutxDsrFlow, 0u);
    EXPECT_EQ(g_dcb.fDtrControl, (DWORD)DTR_CONTROL_ENABLE);
    EXPECT_EQ(g_dcb.fDsrSensitivity, 0u);
    EXPECT_EQ(g_dcb.fTXContinueOnXoff, 0u);
    EXPECT_EQ(g_dcb.fOutX, 0u);
    EXPECT_EQ(g_dcb.fInX, 0u);
    EXPECT_EQ(g_dcb.fErrorChar, 0u);
    EXPECT_EQ(g_dcb.fNull, 0u);
    EXPECT_EQ(g_dcb.fRtsControl, (DWORD)RTS_CONTROL_ENABLE);
    EXPECT_EQ(g_dcb.fAbortOnError, 0u);
    EXPECT_EQ(g_dcb.fDummy2, 0u);
    EXPECT_EQ(g_dcb.wReserved, 0u);
    EXPECT_EQ(g_dcb.XonLim, 256u);
    EXPECT_EQ(g_dcb.XoffLim, 256u);
    EXPECT_EQ(g_dcb.ByteSize, 8u);
    EXPECT_EQ(g_dcb.Parity, NOPARITY);
    EXPECT_EQ(g_dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(g_dcb.XonChar, 0x11);
    EXPECT_EQ(g_dcb.XoffChar, 0x13);
    EXPECT_EQ(g_dcb.ErrorChar, 0x3F);
    EXPECT_EQ(g_dcb.EofChar, 0x1A);
    EXPECT_EQ(g_dcb.EvtChar, 0x10);
    EXPECT_EQ(g_dcb.wReserved1, 0u);
}

TEST_F(ComPortRecords, SettersWithoutPortAnswerOneOnlyForTheValueAlreadyRecorded)
{
    EXPECT_EQ(ComPortAPI_SetBaudRate(9600), 1);
    EXPECT_EQ(ComPortAPI_SetHardwareFlowControl(1), 1);
    EXPECT_EQ(ComPortAPI_SetReadingTimeoutInMs(500), 1);

    EXPECT_EQ(ComPortAPI_SetBaudRate(57600), 0);
    EXPECT_EQ(g_dcb.BaudRate, 57600u);
    EXPECT_EQ(ComPortAPI_SetBaudRate(57600), 1);

    EXPECT_EQ(ComPortAPI_SetHardwareFlowControl(0), 0);
    EXPECT_EQ(g_dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(g_dcb.fRtsControl, (DWORD)RTS_CONTROL_ENABLE);
    EXPECT_EQ(ComPortAPI_SetHardwareFlowControl(0), 1);
    // Only the low bit counts.
    EXPECT_EQ(ComPortAPI_SetHardwareFlowControl(2), 1);
    EXPECT_EQ(g_dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(ComPortAPI_SetHardwareFlowControl(3), 0);
    EXPECT_EQ(g_dcb.fOutxCtsFlow, 1u);

    EXPECT_EQ(ComPortAPI_SetReadingTimeoutInMs(1000), 0);
    EXPECT_EQ(g_cto.ReadIntervalTimeout, 1000u);
    EXPECT_EQ(g_cto.ReadTotalTimeoutConstant, 1000u);
    EXPECT_EQ(g_cto.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(ComPortAPI_SetReadingTimeoutInMs(1000), 1);

    EXPECT_EQ(ComPortAPI_SetReadingTimeoutInMs(-1), 0);
    EXPECT_EQ(g_cto.ReadIntervalTimeout, 1000u);
    EXPECT_EQ(g_cto.ReadTotalTimeoutConstant, 1000u);

    EXPECT_EQ(g_hCOM, nullptr);
}

TEST_F(ComPortRecords, TransfersAndClosesWithoutPortAreHarmless)
{
    char buffer[8] = {};
    int count = 99;
    EXPECT_EQ(ComPortAPI_ReadCOM(buffer, sizeof buffer, &count), 0);
    EXPECT_EQ(count, 0);
    count = 99;
    EXPECT_EQ(ComPortAPI_WriteCOM("abc", 3, &count), 0);
    EXPECT_EQ(count, 0);

    EXPECT_EQ(ComPortAPI_CloseCOM(), 1);
    EXPECT_EQ(ComPortAPI_CloseCOM(), 1);
    EXPECT_EQ(g_hCOM, nullptr);

    // After a failed open the handle is INVALID_HANDLE_VALUE, which is no port either.
    g_hCOM = INVALID_HANDLE_VALUE;
    count = 99;
    EXPECT_EQ(ComPortAPI_ReadCOM(buffer, sizeof buffer, &count), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(ComPortAPI_SetBaudRate(19200), 0);
    EXPECT_EQ(ComPortAPI_CloseCOM(), 1);
    EXPECT_EQ(g_hCOM, nullptr);
}

TEST_F(ComPortRecords, NumbersWithoutADeviceNameFailLikeMissingPorts)
{
    const int numbers[] = {0, -1, -1234567, 123456789, INT_MAX, INT_MIN};
    for (int number : numbers) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(ComPortAPI_OpenCOM(number), 0) << number;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR: Opening COM" + std::to_string(number) + " failed !");
        EXPECT_EQ(g_hCOM, INVALID_HANDLE_VALUE);

        testing::internal::CaptureStdout();
        EXPECT_EQ(ComPortAPI_ProbeCOM(number), 0) << number;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(g_hCOM, INVALID_HANDLE_VALUE);
    }
}

}  // namespace
