#include "security/PasswordScramble.h"

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "foundation/Conversion.h"
#include "security/DesCipher.h"

namespace {

const unsigned char key[8] = {0x4a, 0x7c, 0x2e, 0x91, 0xd3, 0x58, 0xb6, 0x0f};
const unsigned char chain[8] = {0x93, 0x1d, 0x6e, 0xa4, 0x27, 0xc8, 0x5b, 0xf0};

XQRC success() { return XQRC(0, 0, XQRC::WhsSrv); }

}  // namespace

const unsigned char* xqPasswordKey() { return key; }
const unsigned char* xqPasswordChain() { return chain; }

XQRC preprocessencstring(unsigned long* length, char* buffer) {
    const unsigned long units = *length / 4;
    std::vector<wchar_t> work(units + 1, L'\0');
    std::memcpy(work.data(), buffer, units * 4);
    mySetlocale(LC_ALL, "");
    const size_t n = std::wcslen(work.data());

    // The converter starts its output at the first "XQ" it finds (the eye
    // catcher of a packed message); putting one in front keeps a password
    // that contains "XQ" whole.
    std::vector<wchar_t> packed(n + 3, L'\0');
    packed[0] = L'X';
    packed[1] = L'Q';
    std::wmemcpy(packed.data() + 2, work.data(), n);
    XQRC rc = ConvertWideToUnicode(packed.data(), static_cast<unsigned int>((n + 2) * 4));
    if (rc.code != 0) return rc;
    const unsigned char* ucs2 = reinterpret_cast<const unsigned char*>(packed.data()) + 4;

    const unsigned long newLength = (*length / 2) & ~1ul;
    std::memset(buffer, 0, std::min((units + 1) * 2, *length));
    std::memcpy(buffer, ucs2, std::min<unsigned long>(2 * n, newLength));
    *length = newLength;
    swapbytes(newLength, buffer);
    return success();
}

XQRC postprocessencstring(unsigned long* length, char* buffer) {
    const unsigned long units = *length / 2;
    swapbytes(*length, buffer);
    std::vector<unsigned char> work((units + 1) * 2, 0);
    std::memcpy(work.data(), buffer, units * 2);
    mySetlocale(LC_ALL, "");
    unsigned long k = 0;
    while (k < units && (work[2 * k] != 0 || work[2 * k + 1] != 0)) ++k;

    std::vector<wchar_t> text;
    if (k > 0) {
        unsigned char* converted = static_cast<unsigned char*>(std::malloc(2 * k));
        if (converted == nullptr) {
            swapbytes(*length, buffer);
            return XQRC(8463, -1, XQRC::WhsSrv);
        }
        std::memcpy(converted, work.data(), 2 * k);
        int convertedLength = static_cast<int>(2 * k);
        XQRC rc = ConvertUnicodeToWide(converted, convertedLength);
        if (rc.code != 0) {
            std::free(converted);
            swapbytes(*length, buffer);
            return rc;
        }
        const wchar_t* wide = reinterpret_cast<const wchar_t*>(converted);
        text.assign(wide, wide + wcsnlen(wide, static_cast<size_t>(convertedLength) / 4));
        std::free(converted);
    }
    std::memset(buffer, 0, (units + 1) * 4);
    if (!text.empty()) std::memcpy(buffer, text.data(), std::min<size_t>(text.size(), units) * 4);
    *length = units * 4;
    return success();
}

XQRC scramblePassword(const XQSTRING& password, std::vector<unsigned char>& scrambled) {
    const size_t n = password.size();
    std::vector<wchar_t> buffer(n + 2, L'\0');
    std::wmemcpy(buffer.data(), password.data(), n);
    unsigned long length = (n + 1) * 4;
    char* bytes = reinterpret_cast<char*>(buffer.data());
    XQRC rc = preprocessencstring(&length, bytes);
    if (rc.code != 0) return rc;
    unsigned long ktab[64];
    initktab(key, ktab);
    encstring(1, ktab, chain, length, reinterpret_cast<unsigned char*>(bytes));
    scrambled.assign(bytes, bytes + length);
    return success();
}

XQRC unscramblePassword(const std::vector<unsigned char>& scrambled, XQSTRING& password) {
    unsigned long length = scrambled.size();
    std::vector<wchar_t> buffer(length / 2 + 2, L'\0');
    unsigned char* bytes = reinterpret_cast<unsigned char*>(buffer.data());
    if (length) std::memcpy(bytes, scrambled.data(), length);
    unsigned long ktab[64];
    initktab(key, ktab);
    encstring(0, ktab, chain, length, bytes);
    XQRC rc = postprocessencstring(&length, reinterpret_cast<char*>(bytes));
    if (rc.code != 0) return rc;
    password.assign(buffer.data());
    return success();
}
