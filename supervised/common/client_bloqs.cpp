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

int FindClientBloq(const char* view, const std::string& pidTag)
{
    for (int i = FirstClientBloq; i < BloqCount; ++i)
        if (std::memcmp(view + i * BloqSize, pidTag.data(), pidTag.size()) == 0)
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

void PackClientBloqs(char* view)
{
    for (;;) {
        const int hole = LowestEmptyBloq(view);
        const int top = HighestUsedBloq(view);
        if (hole < 0 || top < hole)
            return;
        std::memcpy(view + hole * BloqSize, view + top * BloqSize, BloqSize);
        std::memset(view + top * BloqSize, 0, BloqSize);
    }
}

int CountClientBloqs(const char* view)
{
    int count = 0;
    for (int i = FirstClientBloq; i < BloqCount; ++i)
        if (!IsEmptyBloq(view, i))
            ++count;
    return count;
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
    PackClientBloqs(view);
    WriteClientCount(view, CountClientBloqs(view));
}

int CheckInClient(char* view, const std::string& record)
{
    const std::string pidTag = record.substr(0, 10);
    int index = FindClientBloq(view, pidTag);
    if (index < 0)
        index = LowestEmptyBloq(view);
    if (index < 0)
        return -1;
    std::memcpy(view + index * BloqSize, record.data(), BloqSize);
    TidyClientBloqs(view);
    return FindClientBloq(view, pidTag);
}

void CheckOutClient(char* view, const std::string& pidTag)
{
    const int index = FindClientBloq(view, pidTag);
    if (index >= 0)
        std::memset(view + index * BloqSize, 0, BloqSize);
    TidyClientBloqs(view);
}
