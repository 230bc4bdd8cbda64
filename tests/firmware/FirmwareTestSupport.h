// What the firmware tests share: the embedded files as the build left them,
// and the session buffers the image assembly works in.
#ifndef FIRMWARE_TEST_SUPPORT_H
#define FIRMWARE_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <string>

extern const char *const kCatalogueNames[3];

// The file that the build embedded as catalogue entry `index`; fails the
// test (and gives "") when it cannot be read.
std::string embeddedFile(int index);

// Gives every test the tool's session buffers, so that it assembles into the
// same 4 MiB + 16 image buffer as the tool.
class SessionBuffers : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

// Assembles a fresh copy of catalogue entry `index`; 1 on success.
int assembleCatalogueEntry(int index);

#endif
