#ifndef TCORE_DB_MOCATALOGUE_H
#define TCORE_DB_MOCATALOGUE_H

#include <memory>
#include <string>
#include <unordered_map>

// A GNU gettext .mo file, parsed: original text -> translation (the first
// form of a plural entry). Immutable once made; shared between threads.
class MoCatalogue {
public:
    // Parses the bytes of a .mo file of either byte order. A file that is not
    // a .mo file, or whose tables or strings run past its end, gives an empty
    // catalogue: nothing outside the bytes is ever read.
    static std::shared_ptr<const MoCatalogue> parse(const std::string& bytes);

    // The translation of original, or null when there is none.
    const std::string* find(const std::string& original) const;
    size_t size() const { return entries_.size(); }

private:
    std::unordered_map<std::string, std::string> entries_;
};

// The catalogue in the file at path, or null when it cannot be read. With
// caching on, a file parsed before is reused while its identity, size and
// modification time are unchanged.
std::shared_ptr<const MoCatalogue> loadMoCatalogue(const std::string& path, bool useCache);

#endif
