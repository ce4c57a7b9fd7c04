#include "FuzzTargets.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "ListKindCodecs.h"

namespace {

using listcodec::Codec;

typedef std::vector<unsigned char> Bytes;

template <class List>
bool encode(const Codec<List>& codec, const List& list, Bytes& out, std::string& failure) {
    const unsigned long computed = codec.size(list);
    out.assign(computed, 0);
    unsigned long cursor = 0;
    codec.write(list, out.data(), &cursor);
    if (cursor + codec.slackPerElement * list.size() != computed) {
        failure = std::string(codec.name) + ": written " + std::to_string(cursor) +
                  " bytes, computed " + std::to_string(computed);
        return false;
    }
    out.resize(cursor);
    return true;
}

template <class List>
std::string check(const Codec<List>& codec, XQFieldReader& reader, long rows, bool alone) {
    const unsigned long start = reader.Cursor();
    List list(1);  // a read replaces what the list holds
    codec.read(list, reader, rows);
    const std::string name = codec.name;
    if (reader.Cursor() > reader.End()) return name + ": cursor beyond the end";
    if (reader.Overrun())
        return list.empty() ? std::string() : name + ": list not empty after an overrun";

    std::string failure;
    Bytes first;
    if (!encode(codec, list, first, failure)) return failure;
    const long count = static_cast<long>(list.size());

    List again = list;
    XQFieldReader second(first.data(), first.size());
    codec.read(again, second, count);
    if (second.Overrun() || second.Cursor() != first.size())
        return name + ": re-encoded list does not read back";
    Bytes bytes;
    if (!encode(codec, again, bytes, failure)) return failure;
    if (bytes != first) return name + ": re-encoded list reads back different";

    List raw(2);
    unsigned long rawCursor = 0;
    codec.readRaw(raw, first.data(), &rawCursor, count);
    if (rawCursor != first.size()) return name + ": unchecked reader stops elsewhere";
    if (!encode(codec, raw, bytes, failure)) return failure;
    if (bytes != first) return name + ": unchecked reader reads different";

    if (alone) {
        // What the bounded reader accepted, the unchecked one reads alike.
        List same(1);
        unsigned long cursor = start;
        codec.readRaw(same, reader.Buffer(), &cursor, rows);
        if (cursor != reader.Cursor()) return name + ": unchecked reader disagrees on the input";
        if (!encode(codec, same, bytes, failure)) return failure;
        if (bytes != first) return name + ": unchecked reader reads the input differently";
    }
    return std::string();
}

std::string decodeKind(unsigned kind, XQFieldReader& reader, long rows, bool alone) {
    std::string failure;
    listcodec::forEachListKind([&](unsigned k, const auto& codec) {
        if (k == kind) failure = check(codec, reader, rows, alone);
    });
    return failure;
}

}  // namespace

std::string fuzzEncoding(const unsigned char* data, std::size_t size) {
    if (size == 0) return std::string();
    const bool packed = data[0] & 1;
    const unsigned kind = (data[0] >> 1) % 17;
    std::uint32_t rowBits = 0;
    for (std::size_t i = 1; i < 5 && i < size; ++i)
        rowBits |= static_cast<std::uint32_t>(data[i]) << (8 * (i - 1));
    const long rows = static_cast<std::int32_t>(rowBits);
    const unsigned char* payload = data + (size < 5 ? size : 5);
    const std::size_t payloadSize = size < 5 ? 0 : size - 5;

    // The buffer is exactly as long as the payload, so any read past it is
    // seen by the address sanitizer.
    std::unique_ptr<unsigned char[]> widened;
    const unsigned char* buffer = payload;
    unsigned long bufferSize = payloadSize;
    if (!packed) {
        bufferSize = payloadSize * sizeof(wchar_t);
        widened.reset(new unsigned char[bufferSize ? bufferSize : 1]);
        for (std::size_t i = 0; i < payloadSize; ++i) {
            const wchar_t c = static_cast<wchar_t>(payload[i]);
            std::memcpy(widened.get() + i * sizeof(wchar_t), &c, sizeof c);
        }
        buffer = widened.get();
    }

    XQFieldReader reader(buffer, bufferSize);
    if (kind < 16) return decodeKind(kind, reader, rows, true);
    for (unsigned k = 0; k < 16; ++k) {
        const std::string failure = decodeKind(k, reader, rows, false);
        if (!failure.empty()) return failure;
    }
    return std::string();
}
