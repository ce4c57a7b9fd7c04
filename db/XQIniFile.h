#ifndef TCORE_DB_XQINIFILE_H
#define TCORE_DB_XQINIFILE_H

#include "foundation/Export.h"
#include "foundation/XQRC.h"

// The settings a program needs before it can reach the configuration store:
// control database, schema qualifier, user, password, instance name, and the
// log directory. Read and Write move them through named values kept in the
// file "tcore.ini" in the log directory (setupLogDir(), evaluated at each
// operation). The password is stored scrambled (security/PasswordScramble.h).
//
// The file: one "Name=value" line per text value (UTF-8, with \\, \n and \r
// escaped) and "Name:hex=length:hexdigits" per binary value; written with
// mode 0600 to a temporary file that is then renamed over it, so a reader
// sees the old or the new file, never a mix. Names compare ignoring case.
//
// Return codes (domain WhsSrv): 9165 when the file cannot be read or is
// damaged (secondary code: errno where one applies; the comment says why),
// 9166 when it cannot be written (secondary code errno). A missing file is
// no error: it holds no values. A read of a value that is not there succeeds
// and leaves the value as it was. A damaged file reads as holding no values,
// with 9165; the next write keeps it as "tcore.ini.damaged" and starts a new
// file. A file owned by another user is treated as damaged.
//
// One object is used by one thread at a time; separate processes may share
// the file (each write replaces it whole).
class TCORE_EXPORT XQIniFile {
public:
    XQIniFile();
    virtual ~XQIniFile();

    // Reads DatabaseName, Qualifier, Userid and Password (unscrambled) into
    // the fields, stopping at the first failure; then sets logDirectory.
    // InstanceName is not read.
    XQRC Read();
    // Upper-cases databaseName unless it contains a double quote, then writes
    // DatabaseName, Qualifier (not when the database name is "&&&"), Userid,
    // Password (scrambled, binary; an empty one as it is) and InstanceName,
    // stopping at the first failure.
    XQRC Write();

    // binary != 0: the value's characters are bytes (0..255); through a
    // wchar_t pointer a binary value ends at its first zero, so values that
    // may hold zero bytes go through WriteRegBinValue / ReadRegBinValue.
    XQRC WriteRegValue2(const wchar_t* name, const wchar_t* value, int binary);
    XQRC WriteRegValue(const XQSTRING& name, const XQSTRING& value);
    XQRC ReadRegValue2(const wchar_t* name, XQSTRING& value, int binary);
    XQRC ReadRegValue(const XQSTRING& name, XQSTRING& value);
    XQRC WriteRegBinValue(const XQSTRING& name, const XQSTRING& value);
    XQRC ReadRegBinValue(const XQSTRING& name, XQSTRING& value);
    // Removes the named value; a null or empty name removes the whole file.
    XQRC DeleteReg(const wchar_t* name);

    // The file that holds the values now.
    static XQSTRING StorePath();

    XQSTRING databaseName;
    XQSTRING qualifier;
    XQSTRING userid;
    XQSTRING password;
    XQSTRING logDirectory;
    XQSTRING instanceName;

private:
    XQRC readValue(const XQSTRING& name, XQSTRING& value, bool binary, bool* found);
    XQRC writeValue(const XQSTRING& name, const XQSTRING& value, bool binary);
};

#endif
