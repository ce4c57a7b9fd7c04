#include "os/XQNTProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/Trace.h"
#include "os/XQabsFactory.h"
#include "support/ChildProcess.h"
#include "support/QueueTestSupport.h"

namespace {

// A temporary installation: QL7DIR/bin/agents/agent is a shell script that
// records its identity, working directory and arguments in the file named by
// its first argument. The tree is readable by every user; out/ is writable.
class Installation {
public:
    Installation() {
        mkdir((dir_.path() + "/bin").c_str(), 0755);
        mkdir((dir_.path() + "/bin/agents").c_str(), 0755);
        mkdir((dir_.path() + "/out").c_str(), 0777);
        chmod(dir_.path().c_str(), 0755);
        chmod((dir_.path() + "/out").c_str(), 0777);
        writeFile(dir_.path() + "/bin/agents/agent",
                  "#!/bin/sh\nout=\"$1\"; shift\n"
                  "{ id -u; id -g; id -G; pwd; echo \"$#:$*\"; } > \"$out.tmp\" &&\n"
                  "mv \"$out.tmp\" \"$out\"\n", 0755);
        writeFile(dir_.path() + "/bin/sleeper", "#!/bin/sh\nexec sleep 30\n", 0755);
        setenv("QL7DIR", dir_.path().c_str(), 1);
    }
    ~Installation() { unsetenv("QL7DIR"); }
    std::string out(const std::string& name) const { return dir_.path() + "/out/" + name; }

private:
    TempDir dir_;
};

// A user whose home directory exists, for a child that must get as far as
// running the program.
struct User {
    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;
    std::string home;
    std::set<gid_t> groups;  // as the user's login would have them
};

bool lookUp(const char* name, User& user) {
    const struct passwd* entry = getpwnam(name);
    if (entry == nullptr) return false;
    user = User{entry->pw_name, entry->pw_uid, entry->pw_gid, entry->pw_dir, {}};
    int n = 64;
    std::vector<gid_t> g(64);
    getgrouplist(entry->pw_name, entry->pw_gid, g.data(), &n);
    user.groups = std::set<gid_t>(g.begin(), g.begin() + std::clamp(n, 0, 64));
    return true;
}

bool hasHome(const User& user) {
    struct stat st;
    return stat(user.home.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

struct Outcome {
    int status = -1;     // the child's exit status, or 100 and up when the starter failed
    std::string traced;  // what the starter and its child wrote to standard output
};

// Starts program as target from a separate starter process that runs as
// starterUid/starterGid (no supplementary groups), or as this process when
// starterUid is -1, at the given trace level; waits for the child.
Outcome startFrom(long starterUid, gid_t starterGid, const std::string& target,
                  const XQSTRING& program, const std::string& arguments, int level,
                  const Installation& inst) {
    const std::string traceFile = inst.out("trace");
    fflush(stdout);
    pid_t starter = fork();
    if (starter == 0) {
        int fd = open(traceFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0) _exit(100);
        if (starterUid >= 0 && (setgroups(0, nullptr) != 0 || setgid(starterGid) != 0 ||
                                setuid(static_cast<uid_t>(starterUid)) != 0))
            _exit(101);
        setDebugTcore(level);
        XQNTProcess p(program, L"agents", xqFromMultibyte(arguments), 0);
        if (p.StartProcess(xqFromMultibyte(target), L"").code != 0) _exit(102);
        int status = 0;
        const bool ended = eventually([&] { return p.HasEnded(&status); }, 10000);
        fflush(stdout);
        _exit(ended && WIFEXITED(status) ? WEXITSTATUS(status) : 103);
    }
    Outcome outcome;
    int status = 0;
    if (starter > 0 && waitpid(starter, &status, 0) == starter && WIFEXITED(status))
        outcome.status = WEXITSTATUS(status);
    outcome.traced = readWholeFile(traceFile);
    return outcome;
}

}  // namespace

// Who starts whom, and what comes of it. Each row runs its starter in a
// process of its own.
TEST(XQNTProcess, StartsAsTheUserOrEndsTheChildWithTheCause) {
    const bool root = geteuid() == 0;
    User self, runUser, nobody;
    ASSERT_TRUE(lookUp(getpwuid(geteuid())->pw_name, self));
    // An unprivileged user with a home directory.
    for (const char* name : {"daemon", "bin", "nobody", "sys"})
        if (lookUp(name, runUser) && runUser.uid != 0 && hasHome(runUser)) break;
    const bool nobodyLacksHome = lookUp("nobody", nobody) && !hasHome(nobody);
    // Without root, this test's own user is the unprivileged starter.
    const User& plain = root ? runUser : self;
    const long asPlain = root ? long(plain.uid) : -1L;
    enum Ran { NotRun, RanAsTarget, RanWithLogin };
    struct Case {
        const char* name;
        bool needsRoot;
        long starterUid;  // -1: this process
        gid_t starterGid;
        std::string target;
        XQSTRING program;
        int level;
        int status;
        Ran ran;
        std::vector<std::string> traced;
    } cases[] = {
        {"root starts a program as another user", true, -1, 0, runUser.name, L"agent", 0, 0,
         RanWithLogin, {}},
        {"an unprivileged program starts a program as itself", false, asPlain, plain.gid,
         plain.name, L"agent", 0, 0, RanAsTarget, {}},
        {"an unprivileged program may not start one as another user", true, 65534, 65534,
         runUser.name, L"agent", 0, 253, NotRun,
         {"  setgroups() failed!!! errno=1: this program (uid 65534) has no right to start a "
          "program as user '" + runUser.name + "' (uid " + std::to_string(runUser.uid) + ")"}},
        {"a user that does not exist", false, -1, 0, "tcore-no-such-user-8", L"agent", 4, 254,
         NotRun, {"  getpwnam() failed!!! errno="}},
        {"a user without a home directory", true, -1, 0, "nobody", L"agent", 0, 253, NotRun,
         {"  chdir() failed!!! errno=2\n"}},
        {"a program that does not exist", false, asPlain, plain.gid, plain.name, L"absent", 4,
         255, NotRun, {"  EXEC failed!!! rv =-1 errno=2"}},
    };
    std::string skipped;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsRoot && !root) {
            skipped += std::string("\n  ") + c.name + ": needs root";
            continue;
        }
        if (c.target.empty() || (c.target == "nobody" && !nobodyLacksHome) ||
            !(c.ran == NotRun || hasHome(plain))) {
            skipped += std::string("\n  ") + c.name + ": no suitable user here";
            continue;
        }
        Installation inst;
        const std::string out = inst.out("identity");
        const Outcome o = startFrom(c.starterUid, c.starterGid, c.target, c.program,
                                    out + " -a\t1\n", c.level, inst);
        EXPECT_EQ(o.status, c.status) << o.traced;
        for (const std::string& text : c.traced)
            EXPECT_NE(o.traced.find(text), std::string::npos) << text << "\n" << o.traced;
        if (c.ran == NotRun) {
            EXPECT_NE(access(out.c_str(), F_OK), 0) << "the program must not run";
            continue;
        }
        User target;
        ASSERT_TRUE(lookUp(c.target.c_str(), target));
        std::istringstream lines(readWholeFile(out));
        std::string uid, gid, groups, cwd, args;
        for (std::string* line : {&uid, &gid, &groups, &cwd, &args}) std::getline(lines, *line);
        EXPECT_EQ(uid, std::to_string(target.uid));
        char home[PATH_MAX];
        ASSERT_NE(realpath(target.home.c_str(), home), nullptr);
        EXPECT_EQ(cwd, home);
        EXPECT_EQ(args, "2:-a 1");
        if (c.ran == RanWithLogin) {
            EXPECT_EQ(gid, std::to_string(target.gid));
            std::set<gid_t> got;
            std::istringstream g(groups);
            for (long v; g >> v;) got.insert(static_cast<gid_t>(v));
            EXPECT_EQ(got, target.groups) << groups;
        }
    }
    if (!skipped.empty()) GTEST_SKIP() << "the other rows ran; skipped:" << skipped;
}

// Made by the factory, as the library makes its processes.
TEST(XQNTProcess, SecondStartIs9004AndTerminateReapsOrIs9005) {
    Installation inst;
    const XQSTRING self = xqFromMultibyte(getpwuid(geteuid())->pw_name);
    std::unique_ptr<XQabsProcess> made(
        XQabsFactory::Instance()->CreateProcess(L"sleeper", L"", L"", 7));
    XQNTProcess& p = dynamic_cast<XQNTProcess&>(*made);
    EXPECT_EQ(p.MakeCommandLine(), L"sleeper ");
    EXPECT_EQ(XQNTProcess(L"a", L"agents/", L"-x", 0).MakeCommandLine(), L"agents/a -x");
    EXPECT_EQ(p.TerminateProcess().code, 9005) << "never started";
    ASSERT_EQ(p.StartProcess(self, L"").code, 0);
    XQRC again = p.StartProcess(self, L"");
    EXPECT_EQ(again.code, 9004);
    EXPECT_EQ(again.comment, L"Process active!");
    int pid = p.processId;
    EXPECT_EQ(p.TerminateProcess().code, 0);
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1) << "the killed child was reaped";
    EXPECT_EQ(errno, ECHILD);
    EXPECT_EQ(p.TerminateProcess().code, 9005);
}
