#include "foundation/XQResolveMessage.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <clocale>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "db/DbClient.h"
#include "foundation/XQCodes.h"
#include "support/ChildProcess.h"
#include "support/MoWriter.h"

namespace {

class Catalogue : public ::testing::Test {
protected:
    void SetUp() override {
        // The catalogue of this build tree, whatever is installed.
        if (const char* bin = std::getenv("TCORE_BINARY_DIR")) setenv("TCORE_MSGDIR", bin, 1);
    }
    std::string file(const std::string& name) const { return dir_.path() + "/" + name; }
    XQSTRING wfile(const std::string& name) const { return xqFromMultibyte(file(name)); }

    TempDir dir_;
};

}  // namespace

TEST_F(Catalogue, NameRule) {
    EXPECT_EQ(XQResolveMessage().catalogueName, L"ql7orx.mo");
    for (const wchar_t* name : {L"", L"orv2msg.dll", L"ORV2MSG.DLL"})
        EXPECT_EQ(XQResolveMessage(name).catalogueName, L"ql7orx.mo") << name;
    for (const wchar_t* name : {L"other.mo", L"ORV2MSG.DLLX"})
        EXPECT_EQ(XQResolveMessage(name).catalogueName, name);
}

TEST_F(Catalogue, EveryLibraryCodeHasAText) {
    ASSERT_FALSE(dbCataloguePath("ql7orx.mo").empty()) << "the build did not make ql7orx.mo";
    XQResolveMessage r;
    for (int code : xqLibraryCodes()) {
        XQSTRING text;
        ASSERT_EQ(r.ResolveEvent(static_cast<unsigned>(code), text).code, 0);
        EXPECT_GT(text.size(), 10u) << code;
    }
    XQSTRING none = L"x";
    EXPECT_EQ(r.ResolveEvent(1, none).code, 0);
    EXPECT_EQ(none, L"") << "a code without a text gives an empty text";
}

// The README's table of return codes lists every code the library defines,
// each with its catalogue text, and nothing else.
TEST_F(Catalogue, ReadmeTableMatchesTheCatalogue) {
    const char* source = std::getenv("TCORE_SOURCE_DIR");
    if (source == nullptr) GTEST_SKIP() << "TCORE_SOURCE_DIR not set";
    // The rows of a file, or of its section that starts with `from` and
    // ends at the next heading.
    auto rows = [](const std::string& path, const std::regex& row, const std::string& from) {
        std::map<int, std::string> found;
        std::ifstream in(path);
        std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!from.empty()) {
            const std::string::size_type start = all.find(from);
            if (start == std::string::npos) return found;
            all = all.substr(start, all.find("\n#", start + from.size()) - start);
        }
        for (std::sregex_iterator it(all.begin(), all.end(), row), end; it != end; ++it)
            found[std::stoi((*it)[1])] = (*it)[2];
        return found;
    };
    const auto catalogue = rows(std::string(source) + "/catalogue/ql7orx.po",
                                std::regex("msgid \"([0-9]+)\"\nmsgstr \"([^\n]*)\"\n"), "");
    const auto readme = rows(std::string(source) + "/README.md",
                             std::regex("\n\\| ([0-9]+) \\| ([^\n]*) \\|(?=\n)"), "\n## Return codes\n");
    std::map<int, std::string> expected;
    for (int code : xqLibraryCodes()) {
        ASSERT_EQ(catalogue.count(code), 1u) << code;
        expected[code] = std::regex_replace(catalogue.at(code), std::regex("\\\\\""), "\"");
    }
    EXPECT_EQ(readme, expected);
}

// Inserts 1-7 are the tokens, 8 the extra text, 9 the number, 10-12 the
// other tokens; empty ones read as "?". The secondary text: for Sockets the
// secondary code's catalogue text with the same inserts, for Windows the
// system's text (empty here), for the others the return code's system message.
TEST_F(Catalogue, InsertsInOrderAndSecondaryTextByDomain) {
    writeBytes(file("m.mo"),
               makeMoBytes({{"", "Content-Type: text/plain; charset=UTF-8\n"},
                            {"77", "%1|%2|%3|%4|%5|%6|%7|%8|%9|%10|%11|%12|%%|%0|%13|%"},
                            {"111", "refused %8"}}));
    XQResolveMessage r(wfile("m.mo"));
    XQRC rc(77, 0, XQRC::WhsSrv);
    rc.SetXQMessage(L"t1", L"t2", L"t3", L"t4", L"t5", L"t6", L"t7", L"t8", L"t9", L"t10");
    rc.secondaryCode = 111;
    rc.systemMessage = L"system text";
    const std::pair<XQRC::domainType, const wchar_t*> domains[] = {
        {XQRC::ODBC, L"system text"},
        {XQRC::Sockets, L"refused extra"},
        {XQRC::Windows, L""}};
    XQSTRING secondary, primary;
    for (const auto& d : domains) {
        rc.domain = d.first;
        secondary = L"old";
        ASSERT_EQ(r.ResolveMsgs(rc, secondary, primary, L"extra", 42).code, 0);
        EXPECT_EQ(primary, L"t1|t2|t3|t4|t5|t6|t7|extra|42|t8|t9|t10|%|%0|t13|%");
        EXPECT_EQ(secondary, d.second) << d.first;
    }
    XQRC empty(77, 0, XQRC::WhsDDD);
    ASSERT_EQ(r.ResolveMsgs(empty, secondary, primary, L"", 4294967295u).code, 0);
    EXPECT_EQ(primary, L"?|?|?|?|?|?|?|?|-1|?|?|?|%|%0|?3|%");
}

// An insert is cut to twice its characters in bytes, at most 512, on a
// character boundary.
TEST_F(Catalogue, InsertCuts) {
    writeBytes(file("c.mo"), makeMoBytes({{"5", "[%1]"}}));
    XQResolveMessage r(wfile("c.mo"));
    const XQSTRING longText(600, L'a');
    const struct {
        const char* locale;
        const wchar_t* insert;
        XQSTRING text;
    } cases[] = {
        {"C", longText.c_str(), L"[" + XQSTRING(512, L'a') + L"]"},
        // Three characters of three bytes each: cut to six bytes, two characters.
        {"C.UTF-8", L"\u20ac\u20ac\u20ac", L"[\u20ac\u20ac]"},
        // A character the C locale cannot express reaches the formatter as "?".
        {"C", L"\u00e4\u00f6\u00fc", L"[???]"},
    };
    for (const auto& c : cases) {
        ASSERT_NE(std::setlocale(LC_ALL, c.locale), nullptr);
        const wchar_t* inserts[12] = {c.insert};
        void* text = nullptr;
        ASSERT_EQ(r.LookupFileMsg(5, &text, inserts).code, 0);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(XQSTRING(static_cast<wchar_t*>(text)), c.text) << c.locale;
        std::free(text);
    }
    std::setlocale(LC_ALL, "C");
}

TEST_F(Catalogue, BadCataloguesGiveEmptyTextAndSuccess) {
    const std::string good = makeMoBytes({{"5", "five"}, {"6", "six"}});
    std::string wild = good, badRevision = good;
    wild[12] = '\xff';  // table offset far past the end
    badRevision[6] = 2;
    const std::pair<const char*, std::string> bad[] = {
        {"truncated.mo", good.substr(0, good.size() - 6)},
        {"wild.mo", wild},
        {"revision.mo", badRevision}};
    mkdir(file("dir.mo").c_str(), 0700);
    std::vector<XQSTRING> names = {wfile("dir.mo"), L"tcore-no-such-catalogue.mo"};
    for (const auto& b : bad) {
        writeBytes(file(b.first), b.second);
        names.push_back(wfile(b.first));
    }
    for (const XQSTRING& name : names) {
        XQResolveMessage r(name);
        XQSTRING text = L"old";
        EXPECT_EQ(r.ResolveEvent(5, text).code, 0) << xqToMultibyte(name);
        EXPECT_EQ(text, L"") << xqToMultibyte(name);
    }
    XQSTRING text;
    // A long text before it puts the offset of "5" past 65,535: every byte of
    // a big-endian word then matters.
    const std::string longText(70000, 'x');
    writeBytes(file("big.mo"), makeMoBytes({{"4", longText}, {"5", "big-endian five"}}, true));
    XQResolveMessage big(wfile("big.mo"));
    EXPECT_EQ(big.ResolveEvent(5, text).code, 0);
    EXPECT_EQ(text, L"big-endian five");
}

TEST_F(Catalogue, ChangedFileIsReadAgain) {
    writeBytes(file("v.mo"), makeMoBytes({{"5", "first"}}));
    XQResolveMessage r(wfile("v.mo"));
    XQSTRING text;
    r.ResolveEvent(5, text);
    EXPECT_EQ(text, L"first");
    writeBytes(file("v.mo"), makeMoBytes({{"5", "second text"}}));
    r.ResolveEvent(5, text);
    EXPECT_EQ(text, L"second text");
    unlink(file("v.mo").c_str());
    r.ResolveEvent(5, text);
    EXPECT_EQ(text, L"");
}

TEST_F(Catalogue, LookUpOrder) {
    writeBytes(file("ql7orx.mo"), makeMoBytes({{"9004", "private text"}}));
    setenv("TCORE_MSGDIR", dir_.path().c_str(), 1);
    XQResolveMessage r;
    XQSTRING text;
    r.ResolveEvent(9004, text);
    EXPECT_EQ(text, L"private text");
    EXPECT_EQ(dbCataloguePath("./no/such.mo"), "") << "a name with / is used as given";
    unsetenv("TCORE_MSGDIR");
}

TEST_F(Catalogue, ClientContexts) {
    EXPECT_EQ(dbInitAppData(DB_APPDATA_MAGIC), DB_NO_CONTEXT);
    dbContext ctx = {};
    int status = -1;
    ASSERT_EQ(dbBeginContext(&ctx, 0, 0, &status), 0);
    EXPECT_EQ(dbInitAppData(DB_APPDATA_MAGIC), 0u);
    EXPECT_EQ(dbBeginContext(&ctx, 0, 0, &status), 1) << "one context per thread";
    std::thread([] { EXPECT_EQ(dbInitAppData(DB_APPDATA_MAGIC), DB_NO_CONTEXT); }).join();
    // A lookup on a thread that has a context leaves it in place.
    XQResolveMessage r;
    XQSTRING text;
    r.ResolveEvent(9005, text);
    EXPECT_EQ(dbInitAppData(DB_APPDATA_MAGIC), 0u);
    ASSERT_EQ(dbEndContext(&ctx, 0, 0, &status), 0);
    EXPECT_EQ(dbInitAppData(DB_APPDATA_MAGIC), DB_NO_CONTEXT);
    // One begun by a lookup is ended by it.
    r.ResolveEvent(9005, text);
    EXPECT_EQ(dbInitAppData(DB_APPDATA_MAGIC), DB_NO_CONTEXT);
}

// A token gives its length's bytes; no tokens at all leave the inserts empty.
// Cutting to the output size and a missing number are the fuzz target's checks.
TEST_F(Catalogue, FormatterTokens) {
    writeBytes(file("f.mo"), makeMoBytes({{"5", "abc%1def"}}));
    dbMessageToken tokens[12] = {};
    tokens[0] = {3, "XYZ--not part of it"};
    const std::string path = file("f.mo");
    const dbMessageToken* const choices[] = {tokens, nullptr};
    for (const dbMessageToken* given : choices) {
        char out[64];
        int status = -1;
        EXPECT_EQ(dbFormatMessage(path.c_str(), 5, given, out, sizeof out, &status), 0);
        EXPECT_STREQ(out, given != nullptr ? "abcXYZdef" : "abcdef");
        EXPECT_EQ(status, 0);
    }
}

// The real catalogue's texts of a socket failure, from one object on many threads.
TEST_F(Catalogue, SharedObjectOnManyThreads) {
    XQResolveMessage r;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&r, &failures, t] {
            const XQSTRING port = std::to_wstring(4000 + t);
            for (int i = 0; i < 200; ++i) {
                XQRC rc(6105, 111, XQRC::Sockets);
                rc.SetXQMessage(port, L"2", L"1000", L"", L"", L"", L"", L"", L"", L"");
                XQSTRING secondary, primary;
                r.ResolveMsgs(rc, secondary, primary, L"", 0);
                if (primary != L"Connecting to port " + port +
                                   L" failed at attempt 2 (retry delay 1000 ms)." ||
                    secondary != L"Connection refused.")
                    ++failures;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
}
