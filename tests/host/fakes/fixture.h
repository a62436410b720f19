// Base of every host test: a clean fake machine and a scratch working folder
// whose parent receives "../Log.txt".
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace fake {
// Each fake area registers how it returns to a clean state.
bool OnReset(std::function<void()> reset);
void ResetAll();
}

class HostTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The raw bytes of ../Log.txt ("" when missing).
    std::string LogBytes() const;
    // Each line of the log without its "[stamp] " head, e.g. "ERROR: text";
    // continuation lines of a multi-line entry stand as they are.
    std::vector<std::string> LogLines() const;
    // Sets the time zone rules that localtime applies (POSIX TZ syntax).
    static void SetTimeZone(const char* tz);

    std::string root_; // holds Log.txt
    std::string work_; // the current directory during the test
};
