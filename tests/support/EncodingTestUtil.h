#ifndef TCORE_TESTS_SUPPORT_ENCODINGTESTUTIL_H
#define TCORE_TESTS_SUPPORT_ENCODINGTESTUTIL_H

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "messages/ListCodec.h"
#include "messages/ListEncoding.h"
#include "support/MessageTestSupport.h"

// Helpers for the field-encoding tests: packed buffers written as text, and
// random values.

typedef std::vector<unsigned char> Bytes;

// The packed form of chars: one wchar_t per character, host order, no prefix.
Bytes packedChars(const std::wstring& chars);
// The wire text of the given fields: each is "%05d" of its length and itself
// (the text of a packed buffer is payloadText).
std::wstring fieldsText(const std::vector<std::wstring>& fields);

// Random texts (empty to maxLength characters, ASCII, Latin-1 and other BMP
// characters, never NUL) and 32-bit numbers (edges, negatives, bit patterns
// of 2^31 and above).
class RandomValues {
  public:
    explicit RandomValues(std::uint32_t seed) : rng_(seed) {}
    std::wstring text(unsigned maxLength = 12);
    int number();
    unsigned below(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(rng_); }

  private:
    std::mt19937 rng_;
};

// Fills every member of a record with random values, nested lists included.
struct RandomFill {
    RandomValues& random;
    unsigned maxNested;
    void operator()(std::wstring& text) { text = random.text(); }
    void operator()(int& number) { number = random.number(); }
    template <class T>
    void operator()(std::vector<T>& list) {
        list.resize(random.below(maxNested + 1));
        for (T& element : list) xqlist::Wire<T>::Fields(element, *this);
    }
};

// A list of up to maxCount random records (result sets: rows of up to five
// columns, every row as wide).
template <class List>
List randomList(RandomValues& random, unsigned maxCount, unsigned maxNested = 3) {
    List list;
    RandomFill fill{random, maxNested};
    list.resize(random.below(maxCount + 1));
    for (auto& element : list) xqlist::Wire<typename List::value_type>::Fields(element, fill);
    return list;
}

template <>
inline XQResultSetDataList randomList<XQResultSetDataList>(RandomValues& random, unsigned maxCount, unsigned) {
    XQResultSetDataList rows(random.below(maxCount + 1));
    const unsigned columns = random.below(6);
    for (XQResultSetData& row : rows) {
        for (unsigned c = 0; c < columns; ++c) row.push_back(random.text());
    }
    return rows;
}

#endif
