#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "FuzzTargets.h"
#include "foundation/Conversion.h"

namespace {

typedef std::vector<unsigned char> Bytes;

struct Outcome {
    int code = 0;
    Bytes bytes;
};

// ConvertUnicodeToWide of a copy of ucs2, in a buffer of exactly its size
// from the allocation the function expects.
Outcome unicodeToWide(const Bytes& ucs2, bool direct) {
    xqSetConversionFastPath(direct);
    int length = static_cast<int>(ucs2.size());
    unsigned char* buffer = static_cast<unsigned char*>(std::malloc(ucs2.empty() ? 1 : ucs2.size()));
    if (buffer == nullptr) std::abort();
    if (!ucs2.empty()) std::memcpy(buffer, ucs2.data(), ucs2.size());
    Outcome out;
    out.code = ConvertUnicodeToWide(buffer, length).code;
    if (out.code == 0) {
        if (length != 2 * static_cast<int>(ucs2.size())) out.code = -1;
        out.bytes.assign(buffer, buffer + length);
    } else if (length != static_cast<int>(ucs2.size()) ||
               (!ucs2.empty() && std::memcmp(buffer, ucs2.data(), ucs2.size()) != 0)) {
        out.code = -2;  // a failure must leave the buffer as it was
    }
    std::free(buffer);
    return out;
}

// ConvertWideToUnicode in place over a copy of wide (whole characters).
Outcome wideToUnicode(const Bytes& wide, bool direct) {
    xqSetConversionFastPath(direct);
    std::vector<wchar_t> buffer(wide.size() / sizeof(wchar_t) + 1, L'\0');
    if (!wide.empty()) std::memcpy(buffer.data(), wide.data(), wide.size());
    Outcome out;
    out.code = ConvertWideToUnicode(buffer.data(), static_cast<unsigned int>(wide.size())).code;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(buffer.data());
    out.bytes.assign(p, p + wide.size());
    return out;
}

std::string compare(const Outcome& direct, const Outcome& staged, const char* what) {
    if (direct.code < 0 || staged.code < 0) return std::string(what) + ": the buffer or length came back wrong";
    if (direct.code != staged.code)
        return std::string(what) + ": direct path " + std::to_string(direct.code) + ", staged path " +
               std::to_string(staged.code);
    if (direct.code == 0 && direct.bytes != staged.bytes)
        return std::string(what) + ": the direct and the staged path give other bytes";
    return std::string();
}

// Where ConvertWideToUnicode lets a message start in its UCS-2 output: one
// byte before the first "X" that has a "Q" two bytes on, from byte 1 on.
std::size_t messageStart(const Bytes& ucs2) {
    for (std::size_t p = 1; p + 2 < ucs2.size(); ++p)
        if (ucs2[p] == 'X' && ucs2[p + 2] == 'Q') return p - 1;
    return 0;
}

// The UCS-2 of a text of units big-endian code units up to its first zero
// unit, shifted as the converter shifts it, zero-filled to length bytes.
Bytes expectedUnicode(const Bytes& ucs2Units, std::size_t length) {
    Bytes text;
    for (std::size_t i = 0; i + 1 < ucs2Units.size(); i += 2) {
        if (ucs2Units[i] == 0 && ucs2Units[i + 1] == 0) break;
        text.push_back(ucs2Units[i]);
        text.push_back(ucs2Units[i + 1]);
    }
    Bytes padded = text;
    padded.resize(text.size() + 2, 0);
    const std::size_t start = messageStart(padded);
    Bytes out(text.begin() + static_cast<long>(std::min(start, text.size())), text.end());
    out.resize(length, 0);
    return out;
}

std::string fromUnicode(const Bytes& ucs2) {
    const Outcome direct = unicodeToWide(ucs2, true);
    const Outcome staged = unicodeToWide(ucs2, false);
    std::string failure = compare(direct, staged, "UCS-2 to wide");
    if (!failure.empty() || direct.code != 0) return failure;

    // The wide text ends at the input's first zero unit; converted back it is
    // the input again, in a buffer twice as long.
    const Outcome backDirect = wideToUnicode(direct.bytes, true);
    const Outcome backStaged = wideToUnicode(direct.bytes, false);
    failure = compare(backDirect, backStaged, "back to UCS-2");
    if (!failure.empty()) return failure;
    if (backDirect.code != 0) return "what converted from UCS-2 does not convert back: " + std::to_string(backDirect.code);
    if (backDirect.bytes != expectedUnicode(ucs2, direct.bytes.size())) return "UCS-2 to wide and back changed the text";
    return std::string();
}

std::string fromWide(const Bytes& wide) {
    const Outcome direct = wideToUnicode(wide, true);
    const Outcome staged = wideToUnicode(wide, false);
    std::string failure = compare(direct, staged, "wide to UCS-2");
    if (!failure.empty() || direct.code != 0) return failure;

    // Converted, the text up to its first NUL holds only characters UCS-2
    // can carry: its UCS-2 is two bytes each.
    std::vector<wchar_t> text;
    Bytes units;
    for (std::size_t i = 0; i + sizeof(wchar_t) <= wide.size(); i += sizeof(wchar_t)) {
        wchar_t c;
        std::memcpy(&c, wide.data() + i, sizeof c);
        if (c == L'\0') break;
        if (c < 0 || c > 0xFFFF || (c >= 0xD800 && c <= 0xDFFF)) return "a character UCS-2 cannot carry converted";
        text.push_back(c);
        units.push_back(static_cast<unsigned char>(c >> 8));
        units.push_back(static_cast<unsigned char>(c & 0xFF));
    }
    if (direct.bytes != expectedUnicode(units, wide.size())) return "wide to UCS-2 gave other bytes";
    Bytes padded = units;
    padded.resize(units.size() + 2, 0);
    if (messageStart(padded) != 0) return std::string();  // shifted: not the text any more

    // Back to wide from the half of the buffer that holds it.
    const Bytes half(direct.bytes.begin(), direct.bytes.begin() + static_cast<long>(wide.size() / 2));
    const Outcome back = unicodeToWide(half, true);
    const Outcome backStaged = unicodeToWide(half, false);
    failure = compare(back, backStaged, "back to wide");
    if (!failure.empty()) return failure;
    if (back.code != 0) return "what converted to UCS-2 does not convert back: " + std::to_string(back.code);
    Bytes expected(back.bytes.size(), 0);
    if (!text.empty())
        std::memcpy(expected.data(), text.data(), std::min(expected.size(), text.size() * sizeof(wchar_t)));
    if (back.bytes != expected) return "wide to UCS-2 and back changed the text";
    return std::string();
}

}  // namespace

std::string fuzzConversion(const unsigned char* data, std::size_t size) {
    if (size == 0) return std::string();
    const Bytes rest(data + 1, data + size);
    if ((data[0] & 1) == 0) return fromUnicode(rest);
    Bytes wide(rest.begin(), rest.begin() + static_cast<long>(rest.size() / sizeof(wchar_t) * sizeof(wchar_t)));
    return fromWide(wide);
}
