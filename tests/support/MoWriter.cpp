#include "support/MoWriter.h"

#include <cstdint>
#include <fstream>

namespace {

void putWord(std::string& out, uint32_t v, bool bigEndian) {
    for (int i = 0; i < 4; ++i) {
        int shift = bigEndian ? 24 - 8 * i : 8 * i;
        out += static_cast<char>((v >> shift) & 0xFF);
    }
}

}  // namespace

// A header of seven words, the originals' table, the translations' table
// (a length and an offset each), then the strings.
std::string makeMoBytes(const std::map<std::string, std::string>& entries, bool bigEndian) {
    const uint32_t n = static_cast<uint32_t>(entries.size());
    const uint32_t at = 28 + 16 * n;
    std::string head, tables[2], strings;
    for (int t = 0; t < 2; ++t) {
        for (const auto& e : entries) {
            const std::string& text = t == 0 ? e.first : e.second;
            putWord(tables[t], static_cast<uint32_t>(text.size()), bigEndian);
            putWord(tables[t], at + static_cast<uint32_t>(strings.size()), bigEndian);
            strings += text + '\0';
        }
    }
    for (uint32_t v : {0x950412deu, 0u, n, 28u, 28 + 8 * n, 0u, at}) putWord(head, v, bigEndian);
    return head + tables[0] + tables[1] + strings;
}

bool writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}
