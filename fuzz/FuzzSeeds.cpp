#include "FuzzSeeds.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

#include "FuzzTargets.h"
#include "ListKindCodecs.h"
#include "db/DbClient.h"
#include "db/XQIniFile.h"
#include "foundation/Conversion.h"
#include "support/EncodingTestUtil.h"
#include "support/MessageTestSupport.h"
#include "support/MoWriter.h"

namespace {

std::string bytesOf(const void* p, std::size_t n) { return std::string(static_cast<const char*>(p), n); }

void putWord(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A packed buffer as the text form of the encoding and message targets (one
// byte per character); empty when a character does not fit in a byte.
std::string textForm(const std::vector<unsigned char>& packed) {
    std::string out;
    for (wchar_t c : payloadText(packed)) {
        if (c < 0 || c > 0xFF) return std::string();
        out += static_cast<char>(c);
    }
    return out;
}

std::vector<FuzzSeed> encodingSeeds() {
    std::vector<FuzzSeed> seeds;
    RandomValues random(1);
    std::vector<unsigned char> allEmpty;
    listcodec::forEachListKind([&](unsigned kind, const auto& codec) {
        using List = typename std::decay_t<decltype(codec)>::ListType;
        const List list = randomList<List>(random, 2, 1);
        std::vector<unsigned char> packed(codec.size(list));
        unsigned long cursor = 0;
        codec.write(list, packed.data(), &cursor);
        packed.resize(cursor);
        std::string input(1, static_cast<char>(kind << 1 | 1));
        putWord(input, static_cast<std::uint32_t>(list.size()));
        seeds.push_back({std::string(codec.name) + "_packed", input + bytesOf(packed.data(), packed.size())});

        std::vector<unsigned char> empty(codec.size(List()));
        cursor = 0;
        codec.write(List(), empty.data(), &cursor);
        allEmpty.insert(allEmpty.end(), empty.begin(), empty.begin() + static_cast<long>(cursor));
    });
    std::string input(1, static_cast<char>(16 << 1));
    putWord(input, 0);
    seeds.push_back({"every_kind_empty_text", input + textForm(allEmpty)});
    return seeds;
}

template <class M>
std::vector<unsigned char> packedBytes(M& m) {
    return packWhole(m).bytes;
}
template <>
std::vector<unsigned char> packedBytes<XQBaseMessage>(XQBaseMessage& m) {
    return packBase(m).bytes;
}

template <class M>
void messageSeeds(int kind, const char* name, std::vector<FuzzSeed>& seeds) {
    for (bool filled : {false, true}) {
        M m;
        if (filled) {
            MessageRandom rnd(2, true, 6, 2);
            rnd.fill(m);
        }
        const std::vector<unsigned char> packed = packedBytes(m);
        const std::string stem = std::string(name) + (filled ? "_filled" : "_fresh");
        seeds.push_back({stem + "_packed", std::string(1, static_cast<char>(kind | 4)) + bytesOf(packed.data(), packed.size())});
        const std::string text = textForm(packed);
        if (!text.empty()) seeds.push_back({stem + "_text", std::string(1, static_cast<char>(kind)) + text});
    }
}

std::vector<FuzzSeed> messageTargetSeeds() {
    std::vector<FuzzSeed> seeds;
    messageSeeds<XQBaseMessage>(0, "base", seeds);
    messageSeeds<XQAgentMessage>(1, "agent", seeds);
    messageSeeds<XQKernelMessage>(2, "kernel", seeds);
    messageSeeds<XQLogMessage>(3, "log", seeds);
    return seeds;
}

// Wide texts as a program packs them: a message, control texts, other scripts.
std::vector<std::pair<std::string, std::vector<wchar_t>>> wideTexts() {
    XQAgentMessage agent;
    MessageRandom rnd(3, false, 6, 1);
    rnd.fill(agent);
    const std::vector<unsigned char> packed = packWhole(agent).bytes;
    std::vector<wchar_t> message(packed.size() / sizeof(wchar_t));
    std::memcpy(message.data(), packed.data(), message.size() * sizeof(wchar_t));
    auto chars = [](const wchar_t* s) {
        std::vector<wchar_t> v(s, s + std::wcslen(s));
        v.resize(v.size() + 4, L'\0');
        return v;
    };
    return {{"agent_message", message},
            {"stop", chars(L"STOP RECEIVING")},
            {"ping", chars(L"PING SEND TO host:4711")},
            {"latin", chars(L"XQLog     U caf\xE9 na\xEFve \xC5ngstr\xF6m")},
            {"cjk", chars(L"XQBase    \x4E2D\x6587\x6D4B\x8BD5\x3001\x65E5\x672C\x8A9E")}};
}

std::vector<FuzzSeed> conversionSeeds() {
    std::vector<FuzzSeed> seeds;
    for (auto& [name, wide] : wideTexts()) {
        const unsigned int bytes = static_cast<unsigned int>(wide.size() * sizeof(wchar_t));
        seeds.push_back({name + "_wide", "\x01" + bytesOf(wide.data(), bytes)});
        std::vector<wchar_t> converted = wide;
        if (ConvertWideToUnicode(converted.data(), bytes).code != 0) continue;
        // The wire form: the text's UCS-2, up to the zeros after it.
        std::string ucs2 = bytesOf(converted.data(), bytes / 2);
        while (ucs2.size() >= 2 && ucs2.compare(ucs2.size() - 2, 2, std::string(2, '\0')) == 0) ucs2.resize(ucs2.size() - 2);
        seeds.push_back({name + "_ucs2", std::string(1, '\0') + ucs2});
    }
    return seeds;
}

std::vector<FuzzSeed> connectStringSeeds() {
    const char* const keys[] = {"PWD", "pwd", "PASSWD", "Pwd "};
    const char* const values[] = {"Secret9", "{pa;ss}", "{a}}b;c}", "\"q;w\"", "\"ab\" x", "two words", "{open"};
    std::vector<FuzzSeed> seeds;
    int n = 0;
    for (const char* key : keys) {
        for (const char* value : values) {
            const std::string s = std::string("DRIVER={SQLite3};Database=/tmp/t.db;UID=me;") + key + "=" + value + ";DSN=x";
            seeds.push_back({"connect_" + std::to_string(++n), s});
        }
    }
    seeds.push_back({"repeated", "PWD=a;PASSWD=b;pwd={c;d};DSN={PWD=e;f}"});
    seeds.push_back({"non_ascii", "UID=\xc3\xa9;PWD=\xe4\xb8\xad\xf0\x9f\x98\x80;"});
    return seeds;
}

std::vector<FuzzSeed> moSeeds() {
    std::vector<FuzzSeed> seeds;
    const std::string path = dbCataloguePath("ql7orx.mo");
    if (!path.empty()) {
        std::ifstream in(path, std::ios::binary);
        seeds.push_back({"ql7orx.mo", std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>())});
    }
    const std::map<std::string, std::string> entries = {
        {"9165", "The ini file is damaged: %1 %2 %12 %% %"}, {"95", "Operation not supported."}, {"0", ""}};
    seeds.push_back({"little_endian.mo", makeMoBytes(entries, false)});
    seeds.push_back({"big_endian.mo", makeMoBytes(entries, true)});
    std::string pairs = "P";
    for (const auto& e : entries) {
        const int number = std::stoi(e.first);
        pairs += static_cast<char>(number & 0xFF);
        pairs += static_cast<char>(number >> 8);
        pairs += static_cast<char>(e.second.size());
        pairs += e.second;
    }
    seeds.push_back({"entries", pairs});
    return seeds;
}

std::vector<FuzzSeed> iniSeeds() {
    const std::string path = xqToMultibyte(XQIniFile::StorePath());
    XQIniFile ini;
    ini.DeleteReg(nullptr);
    ini.databaseName = L"warehouse";
    ini.qualifier = L"DWC";
    ini.userid = L"dwadmin";
    ini.password = L"pa\xDF;w\x4E2D";
    ini.instanceName = L"inst1";
    ini.Write();
    ini.WriteRegValue(L"Note", L"two\nlines\\ and \x00E9");
    ini.WriteRegBinValue(L"Blob", XQSTRING(L"\x01\x00\xFF", 3));
    std::ifstream in(path, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ini.DeleteReg(nullptr);
    return {{"written", written}};
}

// A row as a driver fills the bound buffers: blank-padded (PostgreSQL CHAR)
// or not (SQLite), each followed by its length indicator.
std::vector<FuzzSeed> configValueSeeds() {
    const std::size_t sizes[5] = {11, 21, 2, 200, 20};
    struct Row {
        const char* name;
        const char* columns[5];
        std::int32_t number;
        bool padded;
    };
    const Row rows[] = {{"tracelvl_sqlite", {"XQOdbc", "TRACELVL", "N", "", "trace"}, 1, false},
                        {"dbversion_postgres", {"DDD", "DBVERSION", "C", "8.1.0", "version"}, 0, true},
                        {"agent_utf8", {"Agent", "AGENTMODULE", "C", "agent \xc3\xa9\xe4\xb8\xad", ""}, -1, false}};
    std::vector<FuzzSeed> seeds;
    for (const Row& row : rows) {
        std::string input;
        for (int c = 0; c < 5; ++c) {
            std::string buffer(row.columns[c]);
            if (row.padded && (c == 0 || c == 2)) buffer.resize(sizes[c] - 1, ' ');  // CHAR columns
            const std::size_t length = buffer.size();
            buffer.resize(sizes[c], '\0');
            input += buffer;
            input += static_cast<char>(length & 0xFF);
            input += static_cast<char>(length >> 8);
        }
        for (int i = 3; i >= 0; --i) input += static_cast<char>((static_cast<std::uint32_t>(row.number) >> (8 * i)) & 0xFF);
        seeds.push_back({row.name, input});
    }
    return seeds;
}

}  // namespace

// Frames as a connection delivers them: the count, then the UCS-2 payload
// of real messages and texts; and the counts a receiver must refuse.
std::vector<FuzzSeed> frameSeeds() {
    std::vector<FuzzSeed> seeds;
    auto frame = [](const std::string& payload, std::uint32_t count) {
        const char head[4] = {static_cast<char>(count >> 24), static_cast<char>(count >> 16),
                              static_cast<char>(count >> 8), static_cast<char>(count)};
        return std::string(1, '\x07') + std::string(head, 4) + payload;
    };
    for (const FuzzSeed& text : conversionSeeds()) {
        if (text.bytes.empty() || text.bytes[0] != '\0') continue;
        const std::string ucs2 = text.bytes.substr(1);
        seeds.push_back({text.name + "_frame", frame(ucs2, static_cast<std::uint32_t>(ucs2.size()))});
        seeds.push_back({text.name + "_cut", frame(ucs2, static_cast<std::uint32_t>(ucs2.size() + 100))});
    }
    seeds.push_back({"zero_count", frame("", 0)});
    seeds.push_back({"above_limit", frame("xx", 4194301)});
    seeds.push_back({"over_bound", frame("xx", 2000000)});
    return seeds;
}

std::vector<FuzzSeed> fuzzSeeds(const std::string& target) {
    fuzzSetUpProcess();
    if (target == "encoding") return encodingSeeds();
    if (target == "message") return messageTargetSeeds();
    if (target == "conversion") return conversionSeeds();
    if (target == "connect_string") return connectStringSeeds();
    if (target == "mo_catalogue") return moSeeds();
    if (target == "ini_file") return iniSeeds();
    if (target == "config_value") return configValueSeeds();
    if (target == "frame") return frameSeeds();
    return {};
}
