#include "db/MoCatalogue.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <mutex>

#include "foundation/UniqueFd.h"

namespace {

constexpr uint32_t kMagic = 0x950412deu;
constexpr uint32_t kMagicSwapped = 0xde120495u;
// Far above any catalogue of this system; a larger file is not read.
constexpr off_t kMaxFileSize = 64 * 1024 * 1024;

uint32_t readWord(const std::string& b, uint64_t at, bool swapped) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(b.data()) + at;
    uint32_t le = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
    uint32_t be = uint32_t{p[3]} | uint32_t{p[2]} << 8 | uint32_t{p[1]} << 16 | uint32_t{p[0]} << 24;
    return swapped ? be : le;
}

struct FileIdentity {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    long mtimeSec = 0, mtimeNsec = 0, ctimeSec = 0, ctimeNsec = 0;
    bool operator==(const FileIdentity& o) const {
        return dev == o.dev && ino == o.ino && size == o.size && mtimeSec == o.mtimeSec && mtimeNsec == o.mtimeNsec &&
               ctimeSec == o.ctimeSec && ctimeNsec == o.ctimeNsec;
    }
};

FileIdentity identityOf(const struct stat& st) {
    FileIdentity id;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.size = st.st_size;
    id.mtimeSec = st.st_mtim.tv_sec;
    id.mtimeNsec = st.st_mtim.tv_nsec;
    id.ctimeSec = st.st_ctim.tv_sec;
    id.ctimeNsec = st.st_ctim.tv_nsec;
    return id;
}


// Reads the whole regular file; false when it cannot.
bool readFile(const std::string& path, std::string& bytes, FileIdentity& id) {
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return false;
    struct stat st;
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileSize) return false;
    id = identityOf(st);
    bytes.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < bytes.size()) {
        ssize_t n = read(fd.get(), &bytes[got], bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    bytes.resize(got);  // a file that shrank while read is parsed as it was read
    return true;
}

struct CacheEntry {
    FileIdentity id;
    std::shared_ptr<const MoCatalogue> catalogue;
};

std::mutex cacheLock;
std::unordered_map<std::string, CacheEntry>& cache() {
    static auto* entries = new std::unordered_map<std::string, CacheEntry>();
    return *entries;
}
constexpr size_t kMaxCachedFiles = 16;

}  // namespace

std::shared_ptr<const MoCatalogue> MoCatalogue::parse(const std::string& b) {
    auto cat = std::make_shared<MoCatalogue>();
    if (b.size() < 28) return cat;
    uint32_t magic = readWord(b, 0, false);
    bool swapped;
    if (magic == kMagic)
        swapped = false;
    else if (magic == kMagicSwapped)
        swapped = true;
    else
        return cat;
    uint32_t revision = readWord(b, 4, swapped);
    if ((revision >> 16) > 1) return cat;
    const uint64_t count = readWord(b, 8, swapped);
    const uint64_t originals = readWord(b, 12, swapped);
    const uint64_t translations = readWord(b, 16, swapped);
    const uint64_t size = b.size();
    if (originals + count * 8 > size || translations + count * 8 > size) return cat;
    std::unordered_map<std::string, std::string> entries;
    entries.reserve(static_cast<size_t>(count));
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t olen = readWord(b, originals + 8 * i, swapped), ooff = readWord(b, originals + 8 * i + 4, swapped);
        uint64_t tlen = readWord(b, translations + 8 * i, swapped),
                 toff = readWord(b, translations + 8 * i + 4, swapped);
        if (ooff + olen > size || toff + tlen > size) return cat;  // damaged: nothing of it is used
        std::string original(b, static_cast<size_t>(ooff), static_cast<size_t>(olen));
        std::string translation(b, static_cast<size_t>(toff), static_cast<size_t>(tlen));
        // A plural entry holds its forms separated by NUL; the first is used.
        original.resize(original.find('\0') == std::string::npos ? original.size() : original.find('\0'));
        translation.resize(translation.find('\0') == std::string::npos ? translation.size()
                                                                        : translation.find('\0'));
        entries.emplace(std::move(original), std::move(translation));
    }
    cat->entries_.swap(entries);
    return cat;
}

const std::string* MoCatalogue::find(const std::string& original) const {
    auto it = entries_.find(original);
    return it == entries_.end() ? nullptr : &it->second;
}

std::shared_ptr<const MoCatalogue> loadMoCatalogue(const std::string& path, bool useCache) {
    if (useCache) {
        struct stat st;
        if (stat(path.c_str(), &st) != 0) return nullptr;
        std::lock_guard<std::mutex> guard(cacheLock);
        auto it = cache().find(path);
        if (it != cache().end() && it->second.id == identityOf(st)) return it->second.catalogue;
    }
    std::string bytes;
    FileIdentity id;
    if (!readFile(path, bytes, id)) return nullptr;
    auto catalogue = MoCatalogue::parse(bytes);
    // A file changed within the last moments could change again inside one
    // tick of the file system's clock without a visible difference; such a
    // file is read again next time rather than trusted.
    if (useCache && std::time(nullptr) - id.mtimeSec > 2) {
        std::lock_guard<std::mutex> guard(cacheLock);
        if (cache().size() >= kMaxCachedFiles) cache().clear();
        cache()[path] = CacheEntry{id, catalogue};
    }
    return catalogue;
}
