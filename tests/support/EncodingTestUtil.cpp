#include "support/EncodingTestUtil.h"

#include <cstring>

Bytes packedChars(const std::wstring& chars) {
    Bytes out(chars.size() * sizeof(wchar_t));
    if (!chars.empty()) std::memcpy(out.data(), chars.data(), out.size());
    return out;
}

std::wstring fieldsText(const std::vector<std::wstring>& fields) {
    std::wstring out;
    for (const std::wstring& f : fields) out += fieldText(f);
    return out;
}

std::wstring RandomValues::text(unsigned maxLength) {
    static const wchar_t kAlphabet[] =
        L"abcXYZ019 ;-+\t\u00e9\u00df\u00ff\u20ac\u4e2d\u6587\u0416\u03a9\uff21\ufffd";
    const unsigned alphabetSize = sizeof kAlphabet / sizeof kAlphabet[0] - 1;
    std::wstring out(below(maxLength + 1), L'a');
    for (wchar_t& c : out) {
        // Mostly from the alphabet, now and then any BMP character but NUL.
        c = below(8) ? kAlphabet[below(alphabetSize)] : static_cast<wchar_t>(1 + below(0xFFFF));
    }
    return out;
}

int RandomValues::number() {
    static const std::uint32_t kEdges[] = {0u,          1u,          9u,          10u,
                                           99999u,      100000u,     0x7FFFFFFFu, 0x80000000u,
                                           0x80000001u, 0xFFFFFFFFu, 0xFFFFFFFEu, 3000000000u};
    const unsigned kind = below(3);
    std::uint32_t bits = static_cast<std::uint32_t>(rng_());
    if (kind == 0) bits = kEdges[below(sizeof kEdges / sizeof kEdges[0])];
    if (kind == 1) bits = static_cast<std::uint32_t>(static_cast<std::int32_t>(below(2001)) - 1000);
    return static_cast<int>(bits);
}
