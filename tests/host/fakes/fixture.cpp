#include "fixture.h"

#include "fake_kernel.h"

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <filesystem>

namespace fake {
namespace {
std::vector<std::function<void()>>& Resets()
{
    static std::vector<std::function<void()>> resets;
    return resets;
}
} // namespace

bool OnReset(std::function<void()> reset)
{
    Resets().push_back(std::move(reset));
    return true;
}

void ResetAll()
{
    ResetKernel();
    for (auto& reset : Resets())
        reset();
}
} // namespace fake

void HostTest::SetUp()
{
    char pattern[] = "/tmp/kelm-host-XXXXXX";
    root_ = mkdtemp(pattern);
    work_ = root_ + "/run";
    std::filesystem::create_directory(work_);
    ASSERT_EQ(0, chdir(work_.c_str()));
    SetTimeZone("UTC0");
    fake::ResetAll();
}

void HostTest::TearDown()
{
    fake::ResetAll();
    chdir("/");
    std::filesystem::remove_all(root_);
}

std::string HostTest::LogBytes() const
{
    std::ifstream file(root_ + "/Log.txt", std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

std::vector<std::string> HostTest::LogLines() const
{
    std::vector<std::string> lines;
    const std::string bytes = LogBytes();
    size_t start = 0;
    for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::string line = bytes.substr(start, end - start);
        if (line.size() >= 20 && line[0] == '[' && line[18] == ']')
            line = line.substr(20);
        lines.push_back(line);
    }
    return lines;
}

void HostTest::SetTimeZone(const char* tz)
{
    setenv("TZ", tz, 1);
    tzset();
}
