// Tests that change the port records put them back afterwards, so that every
// test starts from the records the module starts with.
#ifndef PORT_RECORDS_FIXTURE_H
#define PORT_RECORDS_FIXTURE_H

#include <gtest/gtest.h>

#include "ComPortAPI.h"

class PortRecordsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedTimeouts_ = g_cto;
        savedSettings_ = g_dcb;
    }
    void TearDown() override
    {
        ComPortAPI_CloseCOM();
        g_cto = savedTimeouts_;
        g_dcb = savedSettings_;
    }

private:
    COMMTIMEOUTS savedTimeouts_{};
    DCB savedSettings_{};
};

#endif
