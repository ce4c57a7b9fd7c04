#ifndef TCORE_TOOLS_SUPPORT_DEMOPROTOCOL_H
#define TCORE_TOOLS_SUPPORT_DEMOPROTOCOL_H

// What the demo's kernel, agent and logger say to each other. Commands and
// sub-commands belong to the programs, not to the library; these avoid the
// values the library treats specially (command 22, sub-commands 19 and 29).

namespace demo {

enum Command {
    CmdCopyTable = 101,  // agent: copy SQLStmt1's rows into the target table
    CmdStop = 199,       // agent or logger: finish and exit
    CmdLogRecord = 301   // logger: one record to write
};

enum SubCommand {
    SubRequest = 0,
    SubProgress = 1,  // a reply with the rows and bytes moved so far
    SubFinal = 2      // the last reply of a request; ReturnCode is the outcome
};

// Column description carried in OutputDataList (XQAttributeData):
// Text1 column name, Number1 SQL type (SQL_INTEGER, SQL_DOUBLE,
// SQL_VARCHAR, SQL_TYPE_TIMESTAMP), Number2 column size, Number7 position.
// TableList[0].Text1 names the target table.

}  // namespace demo

#endif
