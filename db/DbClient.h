#ifndef TCORE_DB_DBCLIENT_H
#define TCORE_DB_DBCLIENT_H

#include <cstddef>
#include <string>

#include "foundation/Export.h"

// The client-library calls that message catalogue resolution needs: a
// per-thread client context and a formatter of numbered catalogue messages.
// A catalogue is a GNU gettext .mo file whose original texts are message
// numbers in decimal; %1 to %12 in a text are replaced by the tokens.

// The one value dbInitAppData is called with.
constexpr int DB_APPDATA_MAGIC = 950801;
// dbInitAppData: the calling thread has no client context.
constexpr unsigned int DB_NO_CONTEXT = 0x870F008Fu;
// dbInitAppData: called with another value than DB_APPDATA_MAGIC.
constexpr unsigned int DB_BAD_MAGIC = 0x870F0001u;

// A client context; the caller clears it before dbBeginContext and keeps it
// until dbEndContext.
struct dbContext {
    unsigned char area[136];
};

// One insert: length bytes of multibyte text (no terminator needed).
struct dbMessageToken {
    unsigned short length;
    const char* text;
};

// 0 when the calling thread has a client context, DB_NO_CONTEXT when it has
// none, DB_BAD_MAGIC for another magic value.
TCORE_EXPORT unsigned int dbInitAppData(int magic);

// Attaches the calling thread to a new context kept in *context; 0 on
// success (also *status), 1 when context is null or the thread already has a
// context.
TCORE_EXPORT int dbBeginContext(dbContext* context, int reserved1, int reserved2, int* status);
// Detaches the calling thread from the context made by dbBeginContext; 0 on
// success, 1 when the thread has no context.
TCORE_EXPORT int dbEndContext(dbContext* context, int reserved1, int reserved2, int* status);

// Formats message messageNumber of the catalogue into output (outputSize
// bytes, always terminated, never split inside a multibyte character).
// tokens: twelve inserts for %1..%12, or null; %% gives %. Any other % is
// copied. Returns 0 (and *status 0) when the message was found; 1 when the
// catalogue has no such message, 2 when no catalogue could be read: the
// output is then empty. A damaged or truncated catalogue reads as empty.
//
// The catalogue name: one containing "/" is used as given; otherwise the
// first existing file among $TCORE_MSGDIR/name, the installed data directory
// and the build tree. Thread-safe; a parsed catalogue is kept per file and
// reused while the file is unchanged.
TCORE_EXPORT int dbFormatMessage(const char* catalogue, int messageNumber, const dbMessageToken* tokens,
                                 char* output, size_t outputSize, int* status);

// The file dbFormatMessage would read for a catalogue name (empty when none
// exists).
TCORE_EXPORT std::string dbCataloguePath(const char* catalogue);

// Switches the per-file reuse of parsed catalogues on (the default) or off;
// without it every message reads its catalogue file. For measurements.
TCORE_EXPORT void dbCatalogueCaching(bool on);

#endif
