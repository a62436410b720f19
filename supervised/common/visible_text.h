// Bloq bytes made printable for a console: zero bytes and other control or
// non-ASCII bytes as escapes, so that "ends in NUL" and "ends in spaces" look
// different.
#pragma once
#include <string>

// "\0" for a zero byte, "\xNN" for other unprintable bytes, "\\" for a
// backslash.
std::string EscapedBytes(const std::string& bytes);

// The same, except that a run of zero bytes that reaches the end is written once, as
// "\0 x N", so that a short text does not drown in its padding.
std::string VisibleBloqText(const std::string& bytes);
