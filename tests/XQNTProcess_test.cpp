#include "os/XQNTProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/Trace.h"
#include "os/XQabsFactory.h"

namespace {

// A temporary installation: QL7DIR/bin/agents/agent is a shell script that
// records its identity, working directory and arguments in the file named by
// its first argument. The tree is readable by every user; out/ is writable.
class Installation {
public:
    Installation() {
        char tmpl[] = "/tmp/tcore-process-XXXXXX";
        root_ = mkdtemp(tmpl);
        mkdir((root_ + "/bin").c_str(), 0755);
        mkdir((root_ + "/bin/agents").c_str(), 0755);
        mkdir((root_ + "/out").c_str(), 0777);
        chmod(root_.c_str(), 0755);
        chmod((root_ + "/out").c_str(), 0777);
        std::ofstream script(root_ + "/bin/agents/agent");
        script << "#!/bin/sh\n"
                  "out=\"$1\"; shift\n"
                  "{ id -u; id -g; id -G; pwd; echo \"$#:$*\"; } > \"$out.tmp\" && mv \"$out.tmp\" \"$out\"\n";
        script.close();
        chmod((root_ + "/bin/agents/agent").c_str(), 0755);
        std::ofstream sleeper(root_ + "/bin/sleeper");
        sleeper << "#!/bin/sh\nexec sleep 30\n";
        sleeper.close();
        chmod((root_ + "/bin/sleeper").c_str(), 0755);
        setenv("QL7DIR", root_.c_str(), 1);
    }
    ~Installation() {
        unsetenv("QL7DIR");
        std::string cmd = "rm -rf '" + root_ + "'";
        int ignored = std::system(cmd.c_str());
        (void)ignored;
    }
    std::string out(const std::string& name) const { return root_ + "/out/" + name; }

private:
    std::string root_;
};

// Polls until the child has ended; returns its wait status or -1 after 10 s.
int waitEnded(XQNTProcess& p) {
    for (int i = 0; i < 1000; ++i) {
        int status = 0;
        if (p.HasEnded(&status)) return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// An unprivileged user whose home directory exists, for a child that must
// get as far as running the program.
bool findRunUser(std::string& name, struct passwd& out, std::vector<char>& buf) {
    const char* candidates[] = {"daemon", "bin", "nobody", "sys"};
    for (const char* c : candidates) {
        struct passwd* found = nullptr;
        buf.assign(4096, 0);
        if (getpwnam_r(c, &out, buf.data(), buf.size(), &found) != 0 || !found || out.pw_uid == 0) continue;
        struct stat st;
        if (stat(out.pw_dir, &st) == 0 && S_ISDIR(st.st_mode)) {
            name = c;
            return true;
        }
    }
    return false;
}

std::set<gid_t> expectedGroups(const struct passwd& pw) {
    int n = 64;
    std::vector<gid_t> g(64);
    getgrouplist(pw.pw_name, pw.pw_gid, g.data(), &n);
    g.resize(static_cast<size_t>(std::max(n, 0)));
    return std::set<gid_t>(g.begin(), g.end());
}

}  // namespace

TEST(XQNTProcess, CommandLine) {
    XQNTProcess p(L"agent", L"agents", L"-a 1", 0);
    EXPECT_EQ(p.MakeCommandLine(), L"agents/agent -a 1");
    XQNTProcess slash(L"agent", L"agents/", L"-a 1", 0);
    EXPECT_EQ(slash.MakeCommandLine(), L"agents/agent -a 1");
    XQNTProcess noDir(L"agent", L"", L"-a 1", 0);
    EXPECT_EQ(noDir.MakeCommandLine(), L"agent -a 1");
    XQNTProcess noArgs(L"agent", L"", L"", 0);
    EXPECT_EQ(noArgs.MakeCommandLine(), L"agent ");
}

TEST(XQNTProcess, FactoryMakesIt) {
    std::unique_ptr<XQabsProcess> p(XQabsFactory::Instance()->CreateProcess(L"agent", L"agents", L"-x", 7));
    ASSERT_NE(p, nullptr);
    auto* nt = dynamic_cast<XQNTProcess*>(p.get());
    ASSERT_NE(nt, nullptr);
    EXPECT_EQ(nt->program, L"agent");
    EXPECT_EQ(nt->directory, L"agents");
    EXPECT_EQ(nt->arguments, L"-x");
    EXPECT_EQ(nt->option, 7);
    EXPECT_EQ(nt->active, 0);
    EXPECT_EQ(nt->processId, 0);
    XQabsFactory plain;
    EXPECT_EQ(plain.CreateProcess(L"a", L"b", L"c", 0), nullptr);
}

TEST(XQNTProcess, TerminateWithoutStartIs9005) {
    XQNTProcess p(L"agent", L"", L"", 0);
    XQRC rc = p.TerminateProcess();
    EXPECT_EQ(rc.code, 9005);
    EXPECT_EQ(rc.domain, XQRC::WhsSrv);
    EXPECT_EQ(rc.methodName, L"XQNTProcess::TerminateProcess");
    XQNTProcess::logonType type = XQNTProcess::logonBatch;
    EXPECT_EQ(p.GetLogonToken(L"nobody", L"pw", type), 0);
    XQabsProcess base(L"a", L"b", L"c", 0);
    EXPECT_EQ(base.StartProcess(L"x", L"y").code, 0);
    EXPECT_EQ(base.TerminateProcess().code, 0);
}

TEST(XQNTProcess, RunsProgramAsTheUser) {
    if (geteuid() != 0) GTEST_SKIP() << "starting a program as another user needs root";
    std::string user;
    struct passwd pw;
    std::vector<char> buf;
    if (!findRunUser(user, pw, buf)) GTEST_SKIP() << "no unprivileged user with a home directory";
    Installation inst;
    std::string out = inst.out("identity");
    XQNTProcess p(L"agent", L"agents", xqFromMultibyte(out) + L" -a\t1\n", 0);
    XQRC rc = p.StartProcess(xqFromMultibyte(user), L"unused");
    ASSERT_EQ(rc.code, 0);
    EXPECT_EQ(p.active, 1);
    EXPECT_GT(p.processId, 0);
    int status = waitEnded(p);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(p.active, 0);
    std::istringstream lines(readFile(out));
    std::string uid, gid, groups, cwd, args;
    std::getline(lines, uid);
    std::getline(lines, gid);
    std::getline(lines, groups);
    std::getline(lines, cwd);
    std::getline(lines, args);
    EXPECT_EQ(uid, std::to_string(pw.pw_uid));
    EXPECT_EQ(gid, std::to_string(pw.pw_gid));
    std::set<gid_t> got;
    std::istringstream g(groups);
    for (long v; g >> v;) got.insert(static_cast<gid_t>(v));
    EXPECT_EQ(got, expectedGroups(pw)) << groups;
    EXPECT_EQ(got.count(0), pw.pw_gid == 0 ? 1u : 0u) << "the starter's root group is dropped";
    char real[PATH_MAX];
    ASSERT_NE(realpath(pw.pw_dir, real), nullptr);
    EXPECT_EQ(cwd, real);
    EXPECT_EQ(args, "2:-a 1");
}

TEST(XQNTProcess, UnknownUserChildExitsMinusTwo) {
    Installation inst;
    // The child's trace line goes to the inherited standard output.
    std::string traceFile = inst.out("trace");
    fflush(stdout);
    int saved = dup(STDOUT_FILENO);
    int fd = open(traceFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    dup2(fd, STDOUT_FILENO);
    close(fd);
    setDebugTcore(4);
    XQNTProcess p(L"agent", L"agents", xqFromMultibyte(inst.out("never")), 0);
    XQRC rc = p.StartProcess(L"tcore-no-such-user-8", L"");
    setDebugTcore(0);
    int status = waitEnded(p);
    fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    EXPECT_EQ(rc.code, 0) << "the parent succeeds";
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 254);
    EXPECT_NE(access(inst.out("never").c_str(), F_OK), 0) << "the program never ran";
    std::string traced = readFile(traceFile);
    EXPECT_NE(traced.find("PID:" + std::to_string(p.processId) + "  getpwnam() failed!!! errno="), std::string::npos)
        << traced;
    EXPECT_NE(traced.find("command line = agents/agent "), std::string::npos);
    EXPECT_NE(traced.find("Return code from staring a process = 0"), std::string::npos);
}

TEST(XQNTProcess, IdentityChangeFailureNeverRunsTheProgram) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to become an unprivileged starter";
    std::string user;
    struct passwd pw;
    std::vector<char> buf;
    if (!findRunUser(user, pw, buf)) GTEST_SKIP() << "no unprivileged user with a home directory";
    Installation inst;
    std::string out = inst.out("escalated");
    // A starter without the right to change identity: setgroups fails in its
    // child, which must end without running the program.
    pid_t starter = fork();
    ASSERT_GE(starter, 0);
    if (starter == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(100);
        XQNTProcess p(L"agent", L"agents", xqFromMultibyte(out), 0);
        if (p.StartProcess(xqFromMultibyte(user), L"").code != 0) _exit(101);
        int status = 0;
        if (waitpid(p.processId, &status, 0) != p.processId) _exit(102);
        _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 103);
    }
    int status = 0;
    ASSERT_EQ(waitpid(starter, &status, 0), starter);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 253);
    EXPECT_NE(access(out.c_str(), F_OK), 0) << "the program must not run with the starter's identity";
}

TEST(XQNTProcess, MissingHomeDirectoryNeverRunsTheProgram) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root";
    struct passwd* nobody = getpwnam("nobody");
    struct stat st;
    if (!nobody || stat(nobody->pw_dir, &st) == 0) GTEST_SKIP() << "nobody has a home directory here";
    Installation inst;
    XQNTProcess p(L"agent", L"agents", xqFromMultibyte(inst.out("nohome")), 0);
    ASSERT_EQ(p.StartProcess(L"nobody", L"").code, 0);
    int status = waitEnded(p);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 253);
    EXPECT_NE(access(inst.out("nohome").c_str(), F_OK), 0);
}

TEST(XQNTProcess, MissingProgramExitsMinusOne) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root";
    std::string user;
    struct passwd pw;
    std::vector<char> buf;
    if (!findRunUser(user, pw, buf)) GTEST_SKIP() << "no unprivileged user with a home directory";
    Installation inst;
    XQNTProcess p(L"absent", L"agents", L"", 0);
    ASSERT_EQ(p.StartProcess(xqFromMultibyte(user), L"").code, 0);
    int status = waitEnded(p);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 255);
}

TEST(XQNTProcess, SecondStartIs9004AndTerminateReaps) {
    Installation inst;
    struct passwd* self = getpwuid(geteuid());
    ASSERT_NE(self, nullptr);
    XQNTProcess p(L"sleeper", L"", L"", 0);
    ASSERT_EQ(p.StartProcess(xqFromMultibyte(self->pw_name), L"").code, 0);
    XQRC again = p.StartProcess(xqFromMultibyte(self->pw_name), L"");
    EXPECT_EQ(again.code, 9004);
    EXPECT_EQ(again.comment, L"Process active!");
    EXPECT_EQ(again.methodName, L"XQNTProcess::StartProcess");
    int pid = p.processId;
    XQRC rc = p.TerminateProcess();
    EXPECT_EQ(rc.code, 0);
    EXPECT_EQ(p.active, 0);
    int status;
    EXPECT_EQ(waitpid(pid, &status, WNOHANG), -1) << "the killed child was reaped";
    EXPECT_EQ(errno, ECHILD);
    EXPECT_EQ(p.TerminateProcess().code, 9005);
}
