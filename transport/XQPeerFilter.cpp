#include "transport/XQPeerFilter.h"

#include <arpa/inet.h>

#include <cstdlib>

namespace {

std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

}  // namespace

bool XQPeerFilter::parse(const std::string& text, std::string& bad) {
    std::vector<Network> parsed;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        const std::string entry = trimmed(text.substr(start, comma - start));
        start = comma + 1;
        if (entry.empty()) continue;
        std::string address = entry;
        unsigned long bits = 32;
        const std::size_t slash = entry.find('/');
        if (slash != std::string::npos) {
            address = entry.substr(0, slash);
            const std::string length = entry.substr(slash + 1);
            char* end = nullptr;
            bits = std::strtoul(length.c_str(), &end, 10);
            if (length.empty() || end == nullptr || *end != '\0' || bits > 32) {
                bad = entry;
                return false;
            }
        }
        in_addr a{};
        if (inet_pton(AF_INET, address.c_str(), &a) != 1) {
            bad = entry;
            return false;
        }
        const std::uint32_t mask = bits == 0 ? 0 : ~std::uint32_t(0) << (32 - bits);
        parsed.push_back({ntohl(a.s_addr) & mask, mask});
    }
    networks_ = std::move(parsed);
    return true;
}

bool XQPeerFilter::allows(std::uint32_t address) const {
    if (networks_.empty()) return true;
    const std::uint32_t host = ntohl(address);
    for (const Network& n : networks_)
        if ((host & n.mask) == n.address) return true;
    return false;
}

const XQPeerFilter& XQPeerFilter::fromEnvironment(bool& ok, std::string& bad) {
    struct Loaded {
        XQPeerFilter filter;
        bool ok = true;
        std::string bad;
    };
    static const Loaded* loaded = [] {
        Loaded* l = new Loaded();
        const char* text = std::getenv("TCORE_ALLOW_PEERS");
        if (text != nullptr) l->ok = l->filter.parse(text, l->bad);
        return l;
    }();
    ok = loaded->ok;
    bad = loaded->bad;
    return loaded->filter;
}
