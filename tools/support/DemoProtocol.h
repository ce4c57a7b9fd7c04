#ifndef TCORE_TOOLS_SUPPORT_DEMOPROTOCOL_H
#define TCORE_TOOLS_SUPPORT_DEMOPROTOCOL_H

// What the kernel, the agent daemon, the agents and the logger say to each
// other. Commands and sub-commands belong to the programs, not to the
// library; these avoid the values the library treats specially (command 22,
// sub-commands 19 and 29).

namespace demo {

enum Command {
    CmdCopyTable = 101,  // agent: copy SQLStmt1's rows into the target table
    CmdStop = 199,       // agent or logger: finish and exit
    CmdLogRecord = 301,  // logger: one record to write
    CmdStartAgent = 401, // daemon: start an agent (kernel message, below)
    CmdStopAgent = 402,  // daemon: stop one agent, or all of the requester's
    CmdAgentReady = 403  // agent -> its daemon: my queue is up
};

enum SubCommand {
    SubRequest = 0,
    SubProgress = 1,  // a reply with the rows and bytes moved so far
    SubFinal = 2,     // the last reply of a request; ReturnCode is the outcome
    SubEnded = 3      // daemon -> requester: a started agent ended (see below)
};

// Copy request (agent message): column descriptions in OutputDataList
// (XQAttributeData): Text1 column name, Number1 SQL type (SQL_INTEGER,
// SQL_DOUBLE, SQL_VARCHAR, SQL_TYPE_TIMESTAMP), Number2 column size, Number7
// position. TableList[0].Text1 names the target table. MessageID numbers the
// attempt: a rerun of a copy carries a new one, and every reply carries the
// MessageID of the request it answers.
//
// Kernel <-> agent daemon, in kernel messages (the daemon replies to the
// request's origin):
//   start  Command CmdStartAgent; AliasName the program (a name under
//          $QL7DIR/bin); InformationResource its argument text; Userid the
//          operating-system user it runs as; AgentPassword accepted, unused.
//          The daemon adds "--daemon-port P --daemon-token T" to the
//          arguments; the program reports CmdAgentReady with them.
//          Reply SubFinal: ReturnCode the outcome; RowCount the agent's queue
//          port; ByteCount its process id. Refusals are return codes of the
//          daemon (DaemonCode).
//   stop   Command CmdStopAgent; RowCount the agent's queue port (0: every
//          agent this requester's queue started). Reply SubFinal at once; the
//          agent is asked to stop (CmdStop) and killed after the daemon's
//          grace time.
//   ended  A reply to the start request with SubCommand SubEnded, sent when
//          the agent ended for any reason: RowCount its port, ByteCount its
//          process id, ReturnCode success for exit status 0, else
//          DaemonAgentEnded with the status.
// Agent -> daemon (127.0.0.1, the port given):
//   ready  Command CmdAgentReady; RowCount the agent's queue port; ByteCount
//          its process id; InformationResourceID the token given.

// Return codes of the daemon (domain WhsSrv); texts in the catalogue.
enum DaemonCode {
    DaemonUserRefused = 9190,    // the user is not in the allowed list
    DaemonProgramRefused = 9191, // the program is not a program under $QL7DIR/bin
    DaemonAgentLimit = 9192,     // the daemon runs its limit of agents
    DaemonAgentEndedEarly = 9193,// the agent ended before its queue was up
    DaemonAgentNoQueue = 9194,   // the agent did not open its queue in time
    DaemonNoSuchAgent = 9195,    // stop: no agent of that port
    DaemonAgentEnded = 9196,     // ended: the agent's exit status was not 0
    DaemonUnknownCommand = 9197  // not a command of the daemon
};

}  // namespace demo

#endif
