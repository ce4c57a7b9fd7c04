#ifndef TCORE_OS_XQNTPROCESS_H
#define TCORE_OS_XQNTPROCESS_H

#include "os/XQabsProcess.h"

// The POSIX process: fork, then in the child the user's home directory, the
// named user's identity (supplementary groups, group, user, in that order)
// and execv of the program under $QL7DIR/bin/. Starting a program as another
// user needs the right to change identity (normally root); a program started
// as the starter's own user keeps the starter's identity unchanged, so any
// program may start programs as itself. The password is accepted and not
// used.
//
// The child never runs the program with its starter's identity: everything it
// needs is prepared before fork, and it ends without running the program when
// any step fails. Exit status of such a child: -2 (254) when the user does not
// exist, -3 (253) when changing to the home directory or to the user's
// identity failed, -1 (255) when execv failed. The -3 failures are written as
// an "XQTrace" line at every level, naming the failed call, the error number
// and, when the starter lacks the right, both identities.
//
// Return codes (domain WhsSrv): 9002 fork failed (secondary code errno),
// 9003 kill failed (errno), 9004 StartProcess while active, 9005
// TerminateProcess while not active.
class TCORE_EXPORT XQNTProcess : public XQabsProcess {
public:
    enum logonType { logonInteractive = 0, logonBatch = 1, logonNetwork = 2 };

    XQNTProcess(const XQSTRING& program, const XQSTRING& directory, const XQSTRING& arguments, int option);
    XQNTProcess(const XQNTProcess&) = default;
    XQNTProcess& operator=(const XQNTProcess&) = default;
    // A child that has already ended is reaped; a running one is left running.
    ~XQNTProcess() override;

    // Sends SIGKILL to the child and reaps it.
    XQRC TerminateProcess() override;
    XQRC StartProcess(const XQSTRING& user, const XQSTRING& password) override;
    // directory + "/" (when missing) + program + " " + arguments.
    virtual XQSTRING MakeCommandLine();

    // Checks nothing and returns 0: the identity is taken on in the child.
    int GetLogonToken(const XQSTRING& user, const XQSTRING& password, logonType& type);

    // The started child's process identifier, 0 before the first start.
    int GetProcessId() const { return processId; }
    // Without blocking: when the child has ended, reaps it, stores its wait
    // status (as waitpid gives it) in *waitStatus when not null, marks the
    // object inactive and returns true. False while it runs or when inactive.
    bool HasEnded(int* waitStatus);

    // Compares the running state and the process identifier.
    bool operator==(const XQNTProcess& other) const {
        return active == other.active && processId == other.processId;
    }

    int processId;
};

#endif
