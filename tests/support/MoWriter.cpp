#include "support/MoWriter.h"

#include <cstdint>
#include <fstream>
#include <vector>

namespace {

void putWord(std::string& out, uint32_t v, bool bigEndian) {
    for (int i = 0; i < 4; ++i) {
        int shift = bigEndian ? 24 - 8 * i : 8 * i;
        out += static_cast<char>((v >> shift) & 0xFF);
    }
}

}  // namespace

std::string makeMoBytes(const std::map<std::string, std::string>& entries, bool bigEndian) {
    const uint32_t n = static_cast<uint32_t>(entries.size());
    const uint32_t originals = 28, translations = originals + 8 * n;
    uint32_t at = translations + 8 * n;
    std::string head, table1, table2, strings;
    for (const auto& e : entries) {
        putWord(table1, static_cast<uint32_t>(e.first.size()), bigEndian);
        putWord(table1, at + static_cast<uint32_t>(strings.size()), bigEndian);
        strings += e.first;
        strings += '\0';
    }
    for (const auto& e : entries) {
        putWord(table2, static_cast<uint32_t>(e.second.size()), bigEndian);
        putWord(table2, at + static_cast<uint32_t>(strings.size()), bigEndian);
        strings += e.second;
        strings += '\0';
    }
    putWord(head, 0x950412de, bigEndian);
    putWord(head, 0, bigEndian);
    putWord(head, n, bigEndian);
    putWord(head, originals, bigEndian);
    putWord(head, translations, bigEndian);
    putWord(head, 0, bigEndian);
    putWord(head, at, bigEndian);
    return head + table1 + table2 + strings;
}

bool writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}
