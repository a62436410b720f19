// Base of the tests of the watchdog's own code: its process-wide state starts
// as in a new process for every test, and the segment can be created as the
// supervised programs would.
#pragma once
#include "fake_kernel.h"
#include "fixture.h"

#include "segment/segment.h"
#include "shell/shell.h"

class WatchdogTest : public HostTest {
protected:
    void TearDown() override
    {
        // The fakes' reset ends every handle; the watchdog must not keep them.
        SegmentMutexHandle = nullptr;
        SegmentMappingHandle = nullptr;
        TimerTicks = 0;
        HostTest::TearDown();
    }

    static std::vector<char>& CreateSegment() { return fake::CreateMapping("Global\\KelmMem", SegmentSize); }
};
