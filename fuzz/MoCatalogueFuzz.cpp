#include <cwchar>
#include <cstring>
#include <map>
#include <vector>

#include "FuzzTargets.h"
#include "db/DbClient.h"
#include "support/MoWriter.h"

namespace {

const std::size_t kFull = 24576;

std::string cataloguePath() { return fuzzSetUpProcess() + "/fuzz.mo"; }

// Formats number into a buffer of exactly bufferSize bytes; checks the
// result and its status agree and the text is terminated inside.
std::string format(const std::string& path, int number, std::size_t bufferSize, int& rc, std::string& text) {
    static const char* const inserts[12] = {"one", "", "\xc3\xa9t\xc3\xa9", "%1", "%%", "x",
                                            "7",   "8", "nine",             "10", "11", "12"};
    dbMessageToken tokens[12];
    for (int i = 0; i < 12; ++i) tokens[i] = {static_cast<unsigned short>(std::strlen(inserts[i])), inserts[i]};
    std::vector<char> out(bufferSize, 'Z');
    int status = -1;
    rc = dbFormatMessage(path.c_str(), number, tokens, out.data(), out.size(), &status);
    if (status != rc) return "result " + std::to_string(rc) + " with status " + std::to_string(status);
    if (rc < 0 || rc > 2) return "result " + std::to_string(rc);
    const std::size_t n = strnlen(out.data(), out.size());
    if (n == out.size()) return "the output is not terminated inside its buffer";
    text.assign(out.data(), n);
    if (rc != 0 && !text.empty()) return "a message not found left text";
    return std::string();
}

bool validUtf8(const std::string& s) {
    std::mbstate_t st{};
    const char* p = s.data();
    std::size_t left = s.size();
    while (left > 0) {
        std::size_t n = std::mbrlen(p, left, &st);
        if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) return false;
        if (n == 0) n = 1;
        p += n;
        left -= n;
    }
    return true;
}

// Message numbers to ask for: a few fixed ones and every run of digits in the
// input (where the originals of a catalogue are).
std::vector<int> numbersIn(const unsigned char* data, std::size_t size) {
    std::vector<int> numbers = {0, 9165};
    for (std::size_t i = 0; i < size && numbers.size() < 6;) {
        if (data[i] < '0' || data[i] > '9') {
            ++i;
            continue;
        }
        long v = 0;
        while (i < size && data[i] >= '0' && data[i] <= '9') {
            if (v < 100000000) v = v * 10 + (data[i] - '0');
            ++i;
        }
        numbers.push_back(static_cast<int>(v));
    }
    return numbers;
}

std::string checkFile(const std::string& bytes, const std::vector<int>& numbers, std::size_t small) {
    const std::string path = cataloguePath();
    if (!writeBytes(path, bytes)) return "cannot write " + path;
    for (int number : numbers) {
        int rc = 0, rcSmall = 0;
        std::string full, cut;
        std::string failure = format(path, number, kFull, rc, full);
        if (!failure.empty()) return "message " + std::to_string(number) + ": " + failure;
        if (rc != 0) continue;
        failure = format(path, number, small, rcSmall, cut);
        if (!failure.empty()) return "message " + std::to_string(number) + ": " + failure;
        if (rcSmall != 0) return "message " + std::to_string(number) + ": not found in a smaller buffer";
        // The smaller buffer holds a prefix, cut on a character boundary at
        // most one character (four bytes) short of the buffer.
        if (full.compare(0, cut.size(), cut) != 0) return "a smaller buffer holds other text";
        if (cut.size() < full.size() && cut.size() + 4 < small) return "a smaller buffer was cut too short";
        if (validUtf8(full) && !validUtf8(cut)) return "a smaller buffer was cut inside a character";
    }
    return std::string();
}

// 'P', then entries: 2 bytes number, 1 byte length, that many bytes of text.
std::string checkWritten(const unsigned char* data, std::size_t size) {
    std::map<std::string, std::string> entries;
    std::size_t i = 1;
    while (i + 3 <= size) {
        const int number = data[i] | data[i + 1] << 8;
        std::size_t n = data[i + 2];
        i += 3;
        if (n > size - i) n = size - i;
        std::string text(reinterpret_cast<const char*>(data + i), n);
        i += n;
        // The formatter substitutes "%", and a NUL ends a text.
        for (char& c : text)
            if (c == '%' || c == '\0') c = '.';
        entries[std::to_string(number)] = text;
    }
    const bool bigEndian = size > 1 && (data[1] & 1);
    const std::string path = cataloguePath();
    if (!writeBytes(path, makeMoBytes(entries, bigEndian))) return "cannot write " + path;
    // Every look-up parses the whole file again (no caching here): check at
    // most eight entries spread over the catalogue, the first and last among
    // them, so a long list costs a long parse and not its square.
    const std::size_t step = entries.size() > 8 ? (entries.size() + 6) / 7 : 1;
    std::size_t index = 0;
    for (const auto& e : entries) {
        const bool last = index + 1 == entries.size();
        if (index++ % step != 0 && !last) continue;
        int rc = 0;
        std::string text;
        std::string failure = format(path, std::stoi(e.first), kFull, rc, text);
        if (!failure.empty()) return failure;
        if (rc != 0 || text != e.second) return "entry " + e.first + " does not read back as written";
    }
    int rc = 0;
    std::string text;
    format(path, 70000, kFull, rc, text);  // above every number written
    if (rc != 1) return "a number not in the catalogue gave " + std::to_string(rc);
    return std::string();
}

}  // namespace

std::string fuzzMoCatalogue(const unsigned char* data, std::size_t size) {
    if (size > 0 && data[0] == 'P') return checkWritten(data, size);
    const std::size_t small = 1 + (size > 8 ? data[8] % 48 : 16);
    return checkFile(std::string(reinterpret_cast<const char*>(data), size), numbersIn(data, size), small);
}
