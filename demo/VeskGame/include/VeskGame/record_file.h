// The demo client's record files: UTF-8 text that the client appends to and the tests and
// the demo read. A record is "field=value" lines and an empty line. Values are kept
// readable: only "%" and control characters are written as %XX, so every value, whatever
// its bytes, stays on its line.
#ifndef VESKGAME_RECORD_FILE_H_
#define VESKGAME_RECORD_FILE_H_

#include <map>
#include <string>
#include <vector>

// Field name to value, the value as its plain bytes.
typedef std::map<std::string, std::string> Record;

// Appends |record| with a single write, so records of several writers never interleave.
// False when the file could not be opened or written.
bool AppendRecord(const std::wstring& file, const Record& record);

// The complete records of |file|, oldest first; a record still being written is left out.
std::vector<Record> ReadRecords(const std::wstring& file);

// The value of |field| in |record|; empty when it is absent.
std::string RecordValue(const Record& record, const std::string& field);

#endif  // VESKGAME_RECORD_FILE_H_
