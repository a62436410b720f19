// Any five bytes may stand in the count field: compaction keeps every other
// byte in order, the conversion reads as stoi does or raises with its own
// texts, and no count makes the loop ask past bloq 256.
#include "sweep/sweep.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string field(reinterpret_cast<const char*>(data), size);
    const std::string text = CompactCount(field);
    std::string kept;
    for (char c : field)
        if (c != '\0' && !std::isspace(static_cast<unsigned char>(c)))
            kept += c;
    if (text != kept)
        std::abort();
    if (text.empty())
        return 0;

    // Reference reading: sign, digits, stop at the first other character.
    const bool number = std::isdigit(static_cast<unsigned char>(text[0])) ||
                        ((text[0] == '+' || text[0] == '-') && text.size() > 1 &&
                         std::isdigit(static_cast<unsigned char>(text[1])));
    errno = 0;
    const long long expected = number ? std::strtoll(text.c_str(), nullptr, 10) : 0;
    const bool fits = errno == 0 && expected >= INT32_MIN && expected <= INT32_MAX;
    try {
        const int count = ConvertCount(text);
        if (!number || !fits || count != expected)
            std::abort();
        const int last = LastClientBloq(count);
        if (last > 256 || (count <= 254 && last != count + 2) || (count > 254 && last != 256))
            std::abort();
    } catch (const std::invalid_argument& e) {
        if (number || std::string(e.what()) != "invalid stoi argument")
            std::abort();
    } catch (const std::out_of_range& e) {
        if (!number || fits || std::string(e.what()) != "stoi argument out of range")
            std::abort();
    }
    return 0;
}
