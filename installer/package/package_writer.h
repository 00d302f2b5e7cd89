// Lays out an installer exactly in the format's record order (the packer's back end), and
// builds the uninstaller image from an installer image (the install procedure's last step).
// Uses the same constants and record structs as the reader, so the two cannot drift.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "installer/package/package_reader.h"
#include "installer/package/stream.h"

namespace hollin {

// Everything a package says, as plain texts (the writer scrambles them).
struct PackagePlan {
  bool no_view = false;                 // stub byte 83
  std::string title_colour;             // record 1
  std::string gradient_r, gradient_g, gradient_b;  // records 2 to 4
  uint8_t option_byte_5 = 0;
  bool self_check_on = true;            // record 6
  bool silent_failure = false;          // record 7
  uint8_t option_byte_8 = 0;
  bool has_reserved_string = false;     // record 9 (normally 0)
  std::string reserved_string;
  bool registry_import = false;         // record 10
  bool has_uninstall_key = false;       // record 11 / 11a
  std::string uninstall_key;
  bool has_licence = false;             // record 12 / 12a
  std::string licence_text;
  std::string display_name;             // record 13
  std::string maker_notice;             // record 14
  bool has_default_folder = false;      // record 15 / 15a
  std::string default_folder;
  uint8_t reserved_byte = 0;            // record 16
  ActionRecords actions;                // A1 to A15; positions are ignored
};

// One file ready for the package: its stored block (u32 U, zlib stream) and its CRC.
struct PackedFile {
  std::string name;
  uint32_t crc = 0;
  uint32_t unpacked_size = 0;
  std::vector<uint8_t> block;
};

// A stored block of `data` at the given zlib level; empty on failure (out of memory, or
// more than 4 GiB, which U cannot express).
std::vector<uint8_t> MakeStoredBlock(const void* data, size_t size, int level);
// Compresses one file's content into a PackedFile; false on failure.
bool PackFile(const std::string& name, const void* data, size_t size, int level,
              PackedFile* out);

// A packaged file name the installer can only write inside its install folder: relative,
// no drive, no empty, "." or ".." part.
bool IsRelativeInstallName(const std::string& name);

// Checks every text of the plan and every file name against the format's limits (header
// strings of at most 255 bytes, names without "|" or line ends). The message names the field.
bool ValidatePackagePlan(const PackagePlan& plan, const std::vector<PackedFile>& files,
                         std::string* error);

// The file list text: one "name|CRC8length" line per file, CR LF after each.
std::string BuildFileListText(const std::vector<PackedFile>& files);

// Writes records 1 to 19 at the stream's position. False (with a message) when the plan is
// invalid or a write fails.
bool WritePackage(Stream& out, const PackagePlan& plan, const std::vector<PackedFile>& files,
                  std::string* error);

struct InstallerSummary {
  uint64_t package_offset = 0;     // the stub's length
  uint64_t package_length = 0;
  uint32_t total_unpacked_size = 0;
  std::string self_check_value;
};

// Writes stub + package to `out` (which must start empty and allow seeking back): patches
// the stub fields (total unpacked size, no-view byte, installer flag 0), appends the
// package, then writes the CRC text of bytes 93..end at offset 85 last. The stub must be
// longer than the stub fields.
bool WriteInstaller(Stream& out, const std::vector<uint8_t>& stub, const PackagePlan& plan,
                    const std::vector<PackedFile>& files, InstallerSummary* summary,
                    std::string* error);

// (The two uninstaller builders live in uninstaller_image.cpp, which does not need zlib's
// compressor: the installer stub links only that file.)
// The uninstaller image: installer bytes [0, header_end), u32 L and the plain file list
// text (CR LF lines), installer bytes from action record A3 to the end of the stream (the
// end of the package: give a signed installer as a PackageView); then the stub fields set
// to the uninstaller values (size bytes 1,1,1,1; flag 1; "vorn2003") and a PE security
// entry and CheckSum, if any, zeroed.
// False when a position lies outside the installer or it cannot be read.
bool BuildUninstallerImage(Stream& installer, uint64_t header_end,
                           const std::vector<std::string>& file_list_lines,
                           uint64_t autorun_record_position, std::vector<uint8_t>* image);

// Same, finding every position itself from the package at package_offset (a code signature
// is left out).
bool BuildUninstallerFromInstaller(Stream& installer, uint64_t package_offset,
                                   std::vector<uint8_t>* image);

}  // namespace hollin
