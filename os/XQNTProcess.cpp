#include "os/XQNTProcess.h"

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/Trace.h"

namespace {

XQRC processError(int code, int secondary, const wchar_t* method) {
    XQRC rc(code, secondary, XQRC::WhsSrv);
    rc.methodName = method;
    return rc;
}

// Everything the child needs, made before fork: after fork only
// async-signal-safe calls are allowed, so no allocation, no locale, no lock.
struct ChildPlan {
    bool userFound = false;
    int lookupError = 0;
    uid_t uid = 0;
    gid_t gid = 0;
    // False when the user is the starter's own identity: nothing to change,
    // and no privilege needed.
    bool changeIdentity = true;
    std::string home;
    std::vector<gid_t> groups;
    std::string path;
    std::vector<std::string> words;
    std::vector<char*> argv;
    bool trace = false;
    std::string prefix;         // trace line prefix, built in the parent
    std::string failurePrefix;  // the same for lines written at every level
    std::string noRight;        // why a change of identity is refused (EPERM)
};

void appendText(char* line, size_t& used, size_t size, const char* text) {
    while (*text && used + 1 < size) line[used++] = *text++;
}

void appendNumber(char* line, size_t& used, size_t size, long value) {
    char digits[24];
    int n = 0;
    unsigned long v = value < 0 ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    if (value < 0 && used + 1 < size) line[used++] = '-';
    while (n > 0 && used + 1 < size) line[used++] = digits[--n];
}

// prefix + "PID:<pid>  <what> errno=<err>" (or " rv =<rv> errno=<err>" for
// exec) + cause, one write without the trace lock.
void writeChildLine(const std::string& prefix, const char* what, bool withRv, long rv, int err,
                    const char* cause) {
    char line[1024];
    size_t used = 0;
    appendText(line, used, sizeof line, prefix.c_str());
    appendText(line, used, sizeof line, "PID:");
    appendNumber(line, used, sizeof line, static_cast<long>(getpid()));
    appendText(line, used, sizeof line, what);
    if (withRv) appendNumber(line, used, sizeof line, rv);
    appendText(line, used, sizeof line, " errno=");
    appendNumber(line, used, sizeof line, err);
    appendText(line, used, sizeof line, cause);
    line[used++] = '\n';
    ssize_t ignored = write(STDOUT_FILENO, line, used);
    (void)ignored;
}

void childTrace(const ChildPlan& plan, const char* what, bool withRv, long rv, int err) {
    if (plan.trace) writeChildLine(plan.prefix, what, withRv, rv, err, "");
}

// The child cannot return this failure to anyone: it is written at every
// level, and names the cause when the starter lacks the right.
[[noreturn]] void identityFailure(const ChildPlan& plan, const char* what, int err) {
    writeChildLine(plan.failurePrefix, what, false, 0, err, err == EPERM ? plan.noRight.c_str() : "");
    _exit(-3);
}

[[noreturn]] void runChild(const ChildPlan& plan) {
    if (!plan.userFound) {
        childTrace(plan, "  getpwnam() failed!!!", false, 0, plan.lookupError);
        _exit(-2);
    }
    if (chdir(plan.home.c_str()) != 0) identityFailure(plan, "  chdir() failed!!!", errno);
    if (plan.changeIdentity) {
        if (setgroups(plan.groups.size(), plan.groups.data()) != 0)
            identityFailure(plan, "  setgroups() failed!!!", errno);
        if (setgid(plan.gid) != 0) identityFailure(plan, "  setgid() failed!!!", errno);
        if (setuid(plan.uid) != 0) identityFailure(plan, "  setuid() failed!!!", errno);
    }
    // Descriptors of the starter (sockets, files) are not handed to a program
    // that runs as someone else; a kernel without close_range keeps them.
    close_range(3, ~0u, CLOSE_RANGE_CLOEXEC);
    int rv = execv(plan.path.c_str(), plan.argv.data());
    childTrace(plan, "  EXEC failed!!! rv =", true, rv, errno);
    _exit(-1);
}

void lookUpUser(const std::string& name, ChildPlan& plan) {
    long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? static_cast<size_t>(hint) : 1024);
    struct passwd entry;
    struct passwd* found = nullptr;
    int err;
    while ((err = getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (err != 0 || found == nullptr) {
        plan.lookupError = err;
        return;
    }
    plan.userFound = true;
    plan.uid = entry.pw_uid;
    plan.gid = entry.pw_gid;
    plan.home = entry.pw_dir ? entry.pw_dir : "/";
    plan.changeIdentity = !(entry.pw_uid == getuid() && entry.pw_uid == geteuid());
    plan.noRight = ": this program (uid " + std::to_string(geteuid()) + ") has no right to start a program as user '" +
                   name + "' (uid " + std::to_string(entry.pw_uid) + ")";
    int count = 32;
    for (int attempt = 0; attempt < 8; ++attempt) {
        plan.groups.resize(static_cast<size_t>(count));
        int asked = count;
        if (getgrouplist(entry.pw_name, entry.pw_gid, plan.groups.data(), &count) >= 0) {
            plan.groups.resize(static_cast<size_t>(count));
            return;
        }
        if (count <= asked) count = asked * 2;
    }
    plan.groups.assign(1, entry.pw_gid);  // the user's own group at least
}

}  // namespace

XQNTProcess::XQNTProcess(const XQSTRING& program, const XQSTRING& directory, const XQSTRING& arguments,
                         int option)
    : XQabsProcess(program, directory, arguments, option), processId(0) {}

XQNTProcess::~XQNTProcess() {
    if (active && processId > 0) {
        int status;
        waitpid(processId, &status, WNOHANG);
    }
}

XQSTRING XQNTProcess::MakeCommandLine() {
    XQ_TRACE_METHOD("XQNTProcess::MakeCommandLine()");
    XQSTRING line = directory;
    if (!line.empty() && line.back() != L'/') line += L'/';
    line += program;
    line += L' ';
    line += arguments;
    XQ_TRACE(4, "command line = " << line);
    return line;
}

int XQNTProcess::GetLogonToken(const XQSTRING&, const XQSTRING&, logonType&) {
    XQ_TRACE_METHOD("XQNTProcess::GetLogonToken()");
    return 0;
}

XQRC XQNTProcess::StartProcess(const XQSTRING& user, const XQSTRING& /*password*/) {
    XQ_TRACE_METHOD("XQNTProcess::StartProcess()");
    XQRC rc(0, 0, XQRC::WhsSrv);
    const char* installDir = std::getenv("QL7DIR");
    std::string binPath = std::string(installDir ? installDir : "") + "/bin/";
    XQ_TRACE(4, "bin path = " << binPath);
    if (active) {
        rc = processError(9004, 0, L"XQNTProcess::StartProcess");
        rc.comment = L"Process active!";
        return rc;
    }

    ChildPlan plan;
    const std::string commandLine = xqToMultibyte(MakeCommandLine());
    size_t pos = 0;
    while (pos < commandLine.size()) {
        size_t start = commandLine.find_first_not_of(" \t\n", pos);
        if (start == std::string::npos) break;
        size_t end = commandLine.find_first_of(" \t\n", start);
        if (end == std::string::npos) end = commandLine.size();
        plan.words.push_back(commandLine.substr(start, end - start));
        pos = end;
    }
    plan.path = binPath + (plan.words.empty() ? std::string() : plan.words[0]);
    if (plan.words.empty())
        plan.words.push_back(plan.path);
    else
        plan.words[0] = plan.path;
    for (auto& w : plan.words) plan.argv.push_back(&w[0]);
    plan.argv.push_back(nullptr);
    lookUpUser(xqToMultibyte(user), plan);
    plan.trace = traceOn(4);
    plan.prefix = traceUnlockedPrefix();
    // The same stamp and thread under the name of the lines of every level.
    plan.failurePrefix = "XQTrace" + plan.prefix.substr(plan.prefix.find(':'));

    pid_t pid = fork();
    if (pid == 0) runChild(plan);
    if (pid < 0) {
        int err = errno;
        XQ_TRACE(4, "CreateProcess at CreateProcessAsUser");
        rc = processError(9002, err, L"XQNTProcess::StartProcess");
        rc.comment = L"CreateProcessAsUser()";
    } else {
        active = 1;
        processId = static_cast<int>(pid);
    }
    XQ_TRACE(4, "Return code from staring a process = " << rc.code);
    return rc;
}

XQRC XQNTProcess::TerminateProcess() {
    XQ_TRACE_METHOD("XQNTProcess::TerminateProcess()");
    XQRC rc(0, 0, XQRC::WhsSrv);
    if (!active) {
        rc = processError(9005, 0, L"XQNTProcess::TerminateProcess");
    } else if (kill(processId, SIGKILL) != 0) {
        rc = processError(9003, errno, L"XQNTProcess::TerminateProcess");
    } else {
        // The killed child is reaped so that it does not stay a zombie.
        int status;
        while (waitpid(processId, &status, 0) < 0 && errno == EINTR) {
        }
        active = 0;
    }
    XQ_TRACE(4, "Return code from terminating process" << rc.code);
    return rc;
}

bool XQNTProcess::HasEnded(int* waitStatus) {
    if (!active || processId <= 0) return false;
    int status = 0;
    pid_t r = waitpid(processId, &status, WNOHANG);
    if (r != processId) return false;
    if (waitStatus) *waitStatus = status;
    active = 0;
    return true;
}
