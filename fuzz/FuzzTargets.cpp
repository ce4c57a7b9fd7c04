#include "FuzzTargets.h"

#include <fcntl.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>

#include "db/DbClient.h"
#include "foundation/Trace.h"

const std::vector<FuzzTarget>& fuzzTargets() {
    static const std::vector<FuzzTarget> targets = {
        {"encoding", fuzzEncoding},         {"message", fuzzMessage},
        {"conversion", fuzzConversion},     {"connect_string", fuzzConnectString},
        {"mo_catalogue", fuzzMoCatalogue},  {"ini_file", fuzzIniFile},
        {"config_value", fuzzConfigValue},  {"frame", fuzzFrame},
    };
    return targets;
}

const FuzzTarget* findFuzzTarget(const std::string& name) {
    for (const FuzzTarget& t : fuzzTargets())
        if (name == t.name) return &t;
    return nullptr;
}

namespace {

std::string scratch;

void removeScratch() {
    std::error_code ignored;
    if (!scratch.empty()) std::filesystem::remove_all(scratch, ignored);
}

}  // namespace

const std::string& fuzzSetUpProcess() {
    if (!scratch.empty()) return scratch;
    // The conversions take the locale from the environment on first use.
    setenv("LC_ALL", "C.UTF-8", 1);
    std::setlocale(LC_ALL, "");
    setDebugTcore(0);
    // Files written for every input: a memory file system where there is one.
    std::string dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm/tcore-fuzz-XXXXXX" : "/tmp/tcore-fuzz-XXXXXX";
    if (mkdtemp(&dir[0]) == nullptr) std::abort();
    scratch = dir;
    std::atexit(removeScratch);
    setenv("XQS_LOGGING", dir.c_str(), 1);
    // Every input is a new catalogue file: never reuse a parse.
    dbCatalogueCaching(false);
    return scratch;
}

ScratchCwd::ScratchCwd() : previous_(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (previous_ < 0 || chdir(fuzzSetUpProcess().c_str()) != 0) std::abort();
}

ScratchCwd::~ScratchCwd() {
    if (fchdir(previous_) != 0) std::abort();
    close(previous_);
}
