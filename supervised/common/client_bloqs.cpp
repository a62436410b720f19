#include "client_bloqs.h"

#include <segment/segment.h>

#include <cctype>
#include <cstring>

bool IsEmptyBloq(const char* view, int index)
{
    const char* bloq = view + index * BloqSize;
    for (int i = 0; i < BloqSize; ++i)
        if (bloq[i] != '\0')
            return false;
    return true;
}

static bool CarriesTag(const char* view, int index, const std::string& pidTag)
{
    return std::memcmp(view + index * BloqSize, pidTag.data(), pidTag.size()) == 0;
}

int FindClientBloq(const char* view, const std::string& pidTag)
{
    for (int i = FirstClientBloq; i < BloqCount; ++i)
        if (CarriesTag(view, i, pidTag))
            return i;
    return -1;
}

static int LowestEmptyBloq(const char* view)
{
    for (int i = FirstClientBloq; i < BloqCount; ++i)
        if (IsEmptyBloq(view, i))
            return i;
    return -1;
}

static int HighestUsedBloq(const char* view)
{
    for (int i = BloqCount - 1; i >= FirstClientBloq; --i)
        if (!IsEmptyBloq(view, i))
            return i;
    return -1;
}

int CoveringClientCount(const char* view)
{
    const int top = HighestUsedBloq(view);
    return top < 0 ? 0 : top - FirstClientBloq + 1;
}

void WriteClientCount(char* view, int count)
{
    std::string text = std::to_string(count);
    text.resize(ClientCountSize, ' ');
    std::memcpy(view + ClientCountOffset, text.data(), ClientCountSize);
}

int ReadClientCount(const char* view)
{
    int value = 0;
    bool digits = false;
    for (int i = 0; i < ClientCountSize; ++i) {
        const unsigned char c = view[ClientCountOffset + i];
        if (c == '\0' || std::isspace(c))
            continue;
        if (!std::isdigit(c))
            return -1;
        value = value * 10 + (c - '0');
        digits = true;
    }
    return digits ? value : -1;
}

void TidyClientBloqs(char* view)
{
    WriteClientCount(view, CoveringClientCount(view));
}

static bool IsClientBloq(int index)
{
    return index >= FirstClientBloq && index < BloqCount;
}

// The bloq the client took while it still carries its pid, else the first
// that does: a stray copy of its record elsewhere never pulls it away.
static int OwnBloq(const char* view, const std::string& pidTag, int taken)
{
    return IsClientBloq(taken) && CarriesTag(view, taken, pidTag) ? taken : FindClientBloq(view, pidTag);
}

int CheckInClient(char* view, const std::string& record, int taken)
{
    const std::string pidTag = record.substr(0, 10);
    int index = IsClientBloq(taken) && IsEmptyBloq(view, taken) ? taken : OwnBloq(view, pidTag, taken);
    if (index < 0)
        index = LowestEmptyBloq(view);
    if (index < 0)
        return -1;
    std::memcpy(view + index * BloqSize, record.data(), BloqSize);
    TidyClientBloqs(view);
    return index;
}

void CheckOutClient(char* view, const std::string& pidTag, int taken)
{
    const int index = OwnBloq(view, pidTag, taken);
    if (index >= 0)
        std::memset(view + index * BloqSize, 0, BloqSize);
    TidyClientBloqs(view);
}
