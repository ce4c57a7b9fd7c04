#ifndef TCORE_TESTS_SUPPORT_MOWRITER_H
#define TCORE_TESTS_SUPPORT_MOWRITER_H

#include <map>
#include <string>

// The bytes of a GNU gettext .mo file holding the given entries (sorted, no
// hash table), in little- or big-endian order.
std::string makeMoBytes(const std::map<std::string, std::string>& entries, bool bigEndian = false);
// Writes bytes to path; false on failure.
bool writeBytes(const std::string& path, const std::string& bytes);

#endif
