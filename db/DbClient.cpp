#include "db/DbClient.h"

#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "db/MoCatalogue.h"

#ifndef TCORE_DATADIR
#define TCORE_DATADIR ""
#endif
#ifndef TCORE_BUILDDIR
#define TCORE_BUILDDIR ""
#endif

namespace {

thread_local bool threadHasContext = false;
std::atomic<bool> catalogueCaching{true};

const char kContextMark[] = "tcore client context";

bool isFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Longest prefix of text, at most limit bytes, that ends on a character
// boundary of the locale's multibyte code set.
size_t characterPrefix(const std::string& text, size_t limit) {
    if (text.size() <= limit) return text.size();
    std::mbstate_t state{};
    size_t at = 0;
    while (at < limit) {
        size_t n = std::mbrlen(text.data() + at, text.size() - at, &state);
        if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) {
            // Not a valid character here: cut bytewise from now on.
            state = std::mbstate_t{};
            n = 1;
        } else if (n == 0) {
            n = 1;
        }
        if (at + n > limit) break;
        at += n;
    }
    return at;
}

}  // namespace

unsigned int dbInitAppData(int magic) {
    if (magic != DB_APPDATA_MAGIC) return DB_BAD_MAGIC;
    return threadHasContext ? 0u : DB_NO_CONTEXT;
}

int dbBeginContext(dbContext* context, int, int, int* status) {
    int rc = 0;
    if (context == nullptr || threadHasContext) {
        rc = 1;
    } else {
        std::memcpy(context->area, kContextMark, sizeof kContextMark);
        threadHasContext = true;
    }
    if (status) *status = rc;
    return rc;
}

int dbEndContext(dbContext* context, int, int, int* status) {
    int rc = 0;
    if (!threadHasContext) {
        rc = 1;
    } else {
        if (context) std::memset(context->area, 0, sizeof context->area);
        threadHasContext = false;
    }
    if (status) *status = rc;
    return rc;
}

std::string dbCataloguePath(const char* catalogue) {
    if (catalogue == nullptr || *catalogue == '\0') return std::string();
    std::string name(catalogue);
    if (name.find('/') != std::string::npos) return isFile(name) ? name : std::string();
    const char* msgDir = std::getenv("TCORE_MSGDIR");
    const std::string dirs[] = {msgDir ? std::string(msgDir) : std::string(), TCORE_DATADIR, TCORE_BUILDDIR};
    for (const auto& dir : dirs) {
        if (dir.empty()) continue;
        std::string path = dir + (dir.back() == '/' ? "" : "/") + name;
        if (isFile(path)) return path;
    }
    return std::string();
}

void dbCatalogueCaching(bool on) { catalogueCaching.store(on); }

int dbFormatMessage(const char* catalogue, int messageNumber, const dbMessageToken* tokens, char* output,
                    size_t outputSize, int* status) {
    auto finish = [&](int rc) {
        if (status) *status = rc;
        return rc;
    };
    if (output == nullptr || outputSize == 0) return finish(2);
    output[0] = '\0';
    std::string path = dbCataloguePath(catalogue);
    if (path.empty()) return finish(2);
    auto cat = loadMoCatalogue(path, catalogueCaching.load(std::memory_order_relaxed));
    if (!cat) return finish(2);
    const std::string* text = cat->find(std::to_string(messageNumber));
    if (text == nullptr) return finish(1);

    std::string out;
    out.reserve(text->size() + 64);
    for (size_t i = 0; i < text->size(); ++i) {
        char c = (*text)[i];
        if (c != '%' || i + 1 >= text->size()) {
            out += c;
            continue;
        }
        char d1 = (*text)[i + 1];
        if (d1 == '%') {
            out += '%';
            ++i;
            continue;
        }
        if (d1 < '1' || d1 > '9') {
            out += c;
            continue;
        }
        int n = d1 - '0';
        size_t used = 2;
        if (n == 1 && i + 2 < text->size() && (*text)[i + 2] >= '0' && (*text)[i + 2] <= '2') {
            n = 10 + ((*text)[i + 2] - '0');
            used = 3;
        }
        if (tokens != nullptr && tokens[n - 1].text != nullptr)
            out.append(tokens[n - 1].text, tokens[n - 1].length);
        i += used - 1;
    }
    size_t keep = characterPrefix(out, outputSize - 1);
    std::memcpy(output, out.data(), keep);
    output[keep] = '\0';
    return finish(0);
}
