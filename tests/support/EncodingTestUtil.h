#ifndef TCORE_TESTS_SUPPORT_ENCODINGTESTUTIL_H
#define TCORE_TESTS_SUPPORT_ENCODINGTESTUTIL_H

#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

// Helpers for the field-encoding tests: packed buffers written as text, the
// text of a packed buffer, and random values.

typedef std::vector<unsigned char> Bytes;

// The packed form of chars: one wchar_t per character, host order, no prefix.
Bytes packedChars(const std::wstring& chars);
// The characters of a packed buffer as text (bytes / 4 characters).
std::wstring wireText(const unsigned char* buffer, unsigned long bytes);
inline std::wstring wireText(const Bytes& b) {
    return wireText(b.data(), b.size());
}
// The wire text of the given fields: each is "%05d" of its length and itself.
std::wstring fieldsText(std::initializer_list<std::wstring> fields);
std::wstring fieldsText(const std::vector<std::wstring>& fields);
// The data of each field of a packed buffer, trusting the prefixes.
std::vector<std::wstring> wireFields(const unsigned char* buffer, unsigned long bytes);
inline std::vector<std::wstring> wireFields(const Bytes& b) {
    return wireFields(b.data(), b.size());
}

// Random texts (empty to maxLength characters, ASCII, Latin-1 and other BMP
// characters, never NUL) and 32-bit numbers (edges, negatives, bit patterns
// of 2^31 and above).
class RandomValues {
  public:
    explicit RandomValues(std::uint32_t seed) : rng_(seed) {}
    std::wstring text(unsigned maxLength = 12);
    int number();
    unsigned below(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(rng_); }
    std::mt19937& engine() { return rng_; }

  private:
    std::mt19937 rng_;
};

#endif
