// Readers for the stub fields, the package header (records 1 to 16), the action records
// and the uninstaller's uninstall data. Each record remembers where it starts, so a listing
// can show the layout; reads past the end of the file give spaces and 0 flags, never a crash.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "installer/package/block.h"
#include "installer/package/stream.h"

namespace hollin {

struct StubFields {
  uint32_t total_unpacked_size = 0;
  uint8_t no_view = 0;          // 1 = reading mode unavailable
  uint8_t uninstaller = 0;      // 0 = installer
  std::string self_check_value; // the 8 bytes at kSelfCheckValueOffset
  bool ok = false;              // all 16 bytes were there
};
bool ReadStubFields(Stream& file, StubFields* out);

// A header string record: its text (trimmed where the format says so) and where it starts.
struct TextRecord {
  uint64_t position = 0;
  std::string text;
};

struct PackageHeader {
  uint64_t package_offset = 0;
  TextRecord title_colour;  // records 1 to 4: exactly as unscrambled, not trimmed
  TextRecord gradient_r;
  TextRecord gradient_g;
  TextRecord gradient_b;
  uint64_t option_bytes_position = 0;  // records 5 to 8
  uint8_t option_byte_5 = 0;
  bool self_check_on = false;          // record 6
  bool silent_failure = false;         // record 7
  uint8_t option_byte_8 = 0;
  uint64_t reserved_flag_position = 0; // record 9
  bool has_reserved_string = false;
  TextRecord reserved_string;          // read and ignored by Hollin
  uint64_t registry_import_position = 0;  // record 10
  bool registry_import = false;
  uint64_t uninstall_key_flag_position = 0;  // record 11
  bool has_uninstall_key = false;
  TextRecord uninstall_key;            // 11a, trimmed; empty when absent
  uint64_t licence_flag_position = 0;  // record 12
  bool has_licence = false;
  LengthPrefixedBlockInfo licence_block;  // 12a
  BlockDecodeResult licence_decode;
  std::string licence_text;            // decoded text of 12a
  TextRecord display_name;             // 13, trimmed
  TextRecord maker_notice;             // 14, trimmed
  uint64_t default_folder_flag_position = 0;  // record 15
  bool has_default_folder = false;
  TextRecord default_folder;           // 15a, trimmed
  uint64_t header_end = 0;             // after 15 / 15a; the uninstaller copies up to here
  uint64_t reserved_byte_position = 0; // record 16
  uint8_t reserved_byte = 0;
  uint64_t file_list_position = 0;     // after record 16
  bool complete = false;               // every byte read was inside the file
};

// Reads records 1 to 16 strictly in order from package_offset. Returns header.complete:
// false when the package offset lies past the end or the header runs past the end (the
// fields are still filled the way the format reads missing bytes).
bool ReadPackageHeader(Stream& file, uint64_t package_offset, PackageHeader* out);

// Action records. Strings are trimmed; the two removal kinds also keep the stored text,
// which the uninstaller uses as stored.
struct RegisterListRecord {        // A1
  uint64_t position = 0;
  bool present = false;
  LengthPrefixedBlockInfo block;
  BlockDecodeResult decode;
  std::vector<std::string> names;
};
struct ProgramRecord {             // A2 run after install, A3 autorun
  uint64_t position = 0;
  bool present = false;
  std::string program;
  bool has_parameters = false;
  std::string parameters;
};
struct ExeVerbRecord {             // A4
  uint64_t position = 0;
  bool present = false;
  std::string verb;
  bool exe_only = false;
  bool has_extra = false;
  std::string extra;
  std::string program;
};
struct VerbRecord {                // A5 any file, A6 folder
  uint64_t position = 0;
  bool present = false;
  std::string verb;
  bool has_extra = false;
  std::string extra;
  std::string program;
};
struct FileTypeRecord {            // A7
  uint64_t position = 0;
  bool present = false;
  std::string extension;
  std::string description;
  std::string program;
};
struct RegistryRemovalRecord {     // A8, A9, A10
  uint64_t position = 0;
  bool present = false;
  uint8_t root_index = 0;
  std::string key_path;            // trimmed
  std::string key_path_stored;     // as unscrambled
};
struct ShortcutRecord {            // A11
  uint64_t position = 0;
  bool present = false;
  std::string link_name;
  std::string program;
};
struct GroupLink {
  std::string link_name;
  std::string program;
};
struct ProgramGroupRecord {        // A12
  uint64_t position = 0;
  uint8_t kind = 0;                // kGroupUnderPrograms, kGroupUnderStartMenu, else none
  bool present() const { return kind == 1 || kind == 2; }
  std::string group_name;
  std::vector<GroupLink> links;
};
struct FileRemovalRecord {         // A13, A14, A15
  uint64_t position = 0;
  bool present = false;
  uint8_t folder_kind = 0;
  std::string file_name;           // trimmed
  std::string file_name_stored;    // as unscrambled
};

// One read per record, each from the stream's current position (the install procedure
// interleaves them with its work).
RegisterListRecord ReadRegisterListRecord(Stream& s);
ProgramRecord ReadProgramRecord(Stream& s);  // A2 and A3
inline ProgramRecord ReadRunRecord(Stream& s) { return ReadProgramRecord(s); }
inline ProgramRecord ReadAutorunRecord(Stream& s) { return ReadProgramRecord(s); }
ExeVerbRecord ReadExeVerbRecord(Stream& s);
VerbRecord ReadVerbRecord(Stream& s);        // A5 and A6
FileTypeRecord ReadFileTypeRecord(Stream& s);
RegistryRemovalRecord ReadRegistryRemovalRecord(Stream& s);
ShortcutRecord ReadShortcutRecord(Stream& s);
ProgramGroupRecord ReadProgramGroupRecord(Stream& s);
FileRemovalRecord ReadFileRemovalRecord(Stream& s);

struct ActionRecords {
  RegisterListRecord register_list;    // A1 (installer only)
  ProgramRecord run_after_install;     // A2 (installer only)
  ProgramRecord autorun;               // A3
  ExeVerbRecord exe_verb;              // A4
  VerbRecord any_file_verb;            // A5
  VerbRecord folder_verb;              // A6
  FileTypeRecord file_type;            // A7
  RegistryRemovalRecord registry_removal[3];  // A8 to A10
  ShortcutRecord desktop_shortcut;     // A11
  ProgramGroupRecord program_group;    // A12
  FileRemovalRecord file_removal[3];   // A13 to A15
  uint64_t end_position = 0;           // after the last record read
};

// A1 to A15 from the stream's position (the position after the last file block).
void ReadActionRecords(Stream& s, ActionRecords* out);
// A3 to A15 from the stream's position (the uninstaller's copy starts at A3).
void ReadUninstallActionRecords(Stream& s, ActionRecords* out);

struct UninstallData {
  uint64_t position = 0;          // the header end
  bool has_length = false;
  uint32_t declared_length = 0;   // L
  std::string file_list_text;     // cut to what the file holds
  std::vector<std::string> file_list;
  ActionRecords records;          // A3 to A15
};
// Reads the uninstaller's file list and records 3 to 15 at header_end.
void ReadUninstallData(Stream& s, uint64_t header_end, UninstallData* out);

}  // namespace hollin
