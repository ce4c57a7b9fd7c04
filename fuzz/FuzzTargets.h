#ifndef TCORE_FUZZ_FUZZTARGETS_H
#define TCORE_FUZZ_FUZZTARGETS_H

// The fuzz targets: one per parser of bytes that reach a process from
// outside. Each check takes one input, runs it through the library and
// returns what failed (empty when every check held); the sanitizers watch
// for reads outside buffers, leaks and undefined behaviour meanwhile. The
// libFuzzer programs (FuzzMain.cpp, one per target: <name>_fuzz) and the
// replay test (tests/fuzz_replay_test.cpp) run inputs through the same
// functions, so an input kept in fuzz/corpus/<name> or fuzz/findings/<name>
// is checked in every ordinary build.
//
// A new target: its check declared here and listed in fuzzTargets(), its
// source in FuzzChecks.cmake, its name in TCORE_FUZZ_TARGETS
// (fuzz/CMakeLists.txt), its seeds in fuzzSeeds() (FuzzSeeds.h), written
// with `build/tests/fuzz_seeds fuzz/corpus NAME`; a dictionary in
// fuzz/dict/NAME.dict where it helps. `./tcore fuzz` runs every target that
// has a seed corpus.

#include <cstddef>
#include <string>
#include <vector>

typedef std::string (*FuzzCheck)(const unsigned char* data, std::size_t size);

struct FuzzTarget {
    const char* name;
    FuzzCheck check;
};

// Every target, in a fixed order.
const std::vector<FuzzTarget>& fuzzTargets();
// The target of that name, or null.
const FuzzTarget* findFuzzTarget(const std::string& name);

// Once per process before the first input of any target: the locale
// C.UTF-8 (so the conversions see every character), the trace level 0, and
// a scratch directory (removed at exit) that becomes the log directory
// (XQS_LOGGING, where the ini file lives). Returns the scratch directory.
const std::string& fuzzSetUpProcess();

// The scratch directory as the current directory for the object's life
// (message dumps land in the current directory).
class ScratchCwd {
public:
    ScratchCwd();
    ~ScratchCwd();
    ScratchCwd(const ScratchCwd&) = delete;
    ScratchCwd& operator=(const ScratchCwd&) = delete;

private:
    int previous_;
};

// encoding: the list decoders. Byte 0 chooses the form and the list kind,
// bytes 1 to 4 are the row count handed to the result-set reader (int32,
// little-endian), the rest is the payload.
//   byte 0 bit 0 = 0: each payload byte is one character; = 1: the payload is
//                     packed 4-byte characters as they are (any alignment).
//   (byte 0 >> 1) % 17: 0 PrimaryKey, 1 ForeignKey, 2 Data, 3 Table,
//                     4 DPTable, 5 ColAttr, 6 CfgParm, 7 CaptureSchema,
//                     8 ResultSet, 9 RfcFieldDesc, 10 RfcStElemDesc,
//                     11 BapiParam, 12 BOBapi, 13 BONode, 14 BOName,
//                     15 LPZData, 16 all sixteen one after the other.
// Checks: the reader never passes its end; a list read with an overrun is
// empty; what was read re-encodes to exactly its computed size and reads
// back to the same bytes, through the bounded and the unchecked reader.
std::string fuzzEncoding(const unsigned char* data, std::size_t size);

// message: unpack of the four message kinds. Byte 0 % 4 chooses base,
// agent, kernel or log; byte 0 bit 2 the form as for encoding (0: a byte per
// character, 1: packed characters). Checks: the result is success, 9146 or
// 9149, the same through the queue's unbounded unpack; a message that
// unpacked is printed and packed again, what that unpacks to has the same
// fields member by member, and packs to the same bytes.
std::string fuzzMessage(const unsigned char* data, std::size_t size);

// conversion: the wire conversion. Byte 0 bit 0 = 0: the rest is big-endian
// UCS-2 as it arrives (ConvertUnicodeToWide, then back); = 1: the rest is
// wide characters (4 bytes each, host order) as a program packs them
// (ConvertWideToUnicode, then back). Checks: the direct and the staged path
// give the same code and bytes; what converted converts back to the input
// (up to its first NUL character, after the eye-catcher scan's shift).
std::string fuzzConversion(const unsigned char* data, std::size_t size);

// connect_string: printConnectStr. Each byte is one character (bytes 0x80
// and up stand for non-ASCII characters, some outside the BMP). Checks: the
// output is as long as the multibyte input; under every reading a driver may
// give the string (braces with and without doubled "}", double quotes,
// blanks kept or skipped, values cut at the first ";", keywords found
// anywhere), no character of a "PWD" or "PASSWD" value is in clear; a string
// without those keywords comes out unchanged.
std::string fuzzConnectString(const unsigned char* data, std::size_t size);

// mo_catalogue: the .mo reader and the formatter (dbFormatMessage). The
// input is the file. With byte 0 = 'P' it is instead a list of entries
// (number, text) written as a well-formed .mo file first, and each entry must
// read back as written. Checks: the formatter's result and status agree, its
// output is terminated inside the buffer, empty when nothing was found, and
// a smaller buffer gets a prefix cut on a character boundary.
std::string fuzzMoCatalogue(const unsigned char* data, std::size_t size);

// ini_file: XQIniFile reading its file. The input is the file "tcore.ini".
// Checks: Read gives success or 9165, and with 9165 no field was set; after a
// successful Read, Write and a second Read give the same settings, and every
// other value of the file survives the Write.
std::string fuzzIniFile(const unsigned char* data, std::size_t size);

// config_value: a row of the configuration table as the driver hands it
// over: six bound buffers (the sizes the store binds) and their length
// indicators (any value: null, no-total, past the buffer). Checks: the
// texts lie inside their buffers and end before a NUL, those of CHAR
// columns without blanks, and convert to wide text and back; the component
// is 0 to 5.
std::string fuzzConfigValue(const unsigned char* data, std::size_t size);

// frame: the frame reader of the receive loop (XQFrameReader). Byte 0 seeds
// the sizes of the pieces in which the rest (one connection's bytes: the
// 4-byte count, then the payload) arrives, alternately through feed and
// through space/advance, under a bound of 2 MiB of held bytes. Checks: the
// count is read as sent; 0, above 4,194,300 and over the bound are refused
// before any payload is taken and hold nothing; a whole frame is complete,
// takes no byte past itself, equals the bytes sent and holds twice its
// count; a frame cut short is still reading; every held byte is given back.
std::string fuzzFrame(const unsigned char* data, std::size_t size);

#endif
