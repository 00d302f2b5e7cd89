#include "packer/verify.h"

#include <string>

#include "common/stored_name.h"
#include "installer/package/crc.h"
#include "installer/package/file_list.h"
#include "installer/package/package_extent.h"
#include "installer/package/package_format.h"
#include "installer/package/package_reader.h"
#include "packer/block_check.h"
#include "packer/installer_image.h"

namespace hollin {
namespace {

// The longest file list --verify reads into memory (about a million files).
constexpr uint64_t kMaxFileListText = 256u << 20;

bool IsCrcText(const std::string& text) {
  if (text.size() != 8) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  return true;
}

std::string At(uint64_t position, uint64_t base) {
  return "at " + std::to_string(position - base) + ": ";
}

class Verifier {
 public:
  Verifier(PrefixStream& s, uint64_t base, uint64_t end, bool has_signature, VerifyReport* r)
      : s_(s), base_(base), end_(end), has_signature_(has_signature), r_(r) {}

  void Fault(uint64_t position, const std::string& what) { r_->faults.push_back(At(position, base_) + what); }

  // A length-prefixed block at `position`: its u32 N, then the N bytes of one stored block.
  // Returns the plain text (up to `limit` bytes) and sets `next` after the block.
  bool CheckPrefixedBlock(uint64_t position, const std::string& what, uint64_t limit,
                          std::string* text, uint64_t* next) {
    uint8_t n_bytes[4];
    if (position > end_ || end_ - position < 4 || !s_.Seek(position) || s_.Read(n_bytes, 4) != 4) {
      Fault(position, what + ": its length runs past the end of the package");
      return false;
    }
    uint64_t n = uint64_t(n_bytes[0]) | uint64_t(n_bytes[1]) << 8 | uint64_t(n_bytes[2]) << 16 |
                 uint64_t(n_bytes[3]) << 24;
    if (n > end_ - position - 4) {
      Fault(position, what + ": its " + std::to_string(n) + " bytes run past the end of the package");
      return false;
    }
    *next = position + 4 + n;
    bool too_long = false;
    BlockCheck b = CheckStoredBlock(s_, position + 4, n, [&](const uint8_t* data, size_t size) {
      if (!text) return true;
      if (text->size() + size > limit) {
        too_long = true;
        return false;
      }
      text->append(reinterpret_cast<const char*>(data), size);
      return true;
    });
    if (too_long) {
      Fault(position, what + " is longer than " + std::to_string(limit) + " bytes");
      return false;
    }
    if (!b.ok()) {
      Fault(position, what + " " + b.Problem());
      return false;
    }
    return true;
  }

  // The file list's lines: CR LF after each, names the installer writes inside its folder,
  // CRC texts of 8 upper-case hex digits, plain decimal lengths.
  std::vector<FileListLine> CheckLines(uint64_t position, const std::string& text, const std::string& what) {
    std::vector<FileListLine> out;
    if (!text.empty() && (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0))
      Fault(position, what + " does not end with CR LF");
    std::vector<std::string> lines = SplitLines(text);
    vellumo::StoredNameSet names;
    for (size_t k = 0; k < lines.size(); ++k) {
      std::string where = what + " line " + std::to_string(k + 1);
      FileListLine line;
      size_t bar = lines[k].find('|');
      std::string digits = bar == std::string::npos || lines[k].size() < bar + 9 ? "" : lines[k].substr(bar + 9);
      if (!ParseFileListLine(lines[k], &line) || digits.empty() ||
          digits.find_first_not_of("0123456789") != std::string::npos) {
        Fault(position, where + " is not \"name|CRC8length\"");
        lines_ok_ = false;
        continue;
      }
      if (!IsCrcText(line.crc_text))
        Fault(position, where + ": CRC text \"" + line.crc_text + "\" is not 8 upper-case hex digits");
      std::string problem;
      if (!names.Add(line.name, "line " + std::to_string(k + 1), &problem)) Fault(position, where + ": " + problem);
      out.push_back(line);
    }
    return out;
  }

  // Signing starts the certificate table on a multiple of 8 and fills the gap before it
  // with zeros: up to 7 zero bytes there are not the package's.
  bool SigningPadding(uint64_t records_end) {
    uint64_t gap = end_ - records_end;
    if (!has_signature_ || gap >= kCertificateTableAlignment || !s_.Seek(records_end)) return false;
    uint8_t tail[kCertificateTableAlignment] = {};
    if (s_.Read(tail, static_cast<size_t>(gap)) != gap) return false;
    for (uint64_t i = 0; i < gap; ++i)
      if (tail[i] != 0) return false;
    return true;
  }

  // False when a line could not be read: the blocks after it cannot be placed.
  bool lines_ok() const { return lines_ok_; }

  void CheckActions(uint64_t position, bool uninstaller) {
    if (!s_.Seek(position)) {
      Fault(position, "action records: cannot be read");
      return;
    }
    ActionRecords a;
    s_.reset_ran_short();
    if (uninstaller) ReadUninstallActionRecords(s_, &a);
    else ReadActionRecords(s_, &a);
    bool ran_short = s_.ran_short();
    if (!uninstaller && a.register_list.present) {
      uint64_t next = 0;
      CheckPrefixedBlock(a.register_list.block.position, "A1 register list", kMaxFileListText, nullptr, &next);
    }
    // Every record reads a length byte or flag it finds; past the end they read as absent.
    if (a.end_position > end_ || ran_short) {
      Fault(position, "action records run past the end of the package");
    } else if (a.end_position < end_ && !SigningPadding(a.end_position)) {
      Fault(a.end_position, std::to_string(end_ - a.end_position) +
                                " bytes follow the last action record");
    }
  }

 private:
  PrefixStream& s_;
  uint64_t base_, end_;
  bool has_signature_;
  VerifyReport* r_;
  bool lines_ok_ = true;
};

}  // namespace

void VerifyInstaller(Stream& file, const std::string& name, uint64_t package_offset,
                     VerifyReport* report) {
  *report = VerifyReport{};
  InstallerImage image;
  std::string error;
  if (!LocateInstaller(file, name, package_offset, &image, &error)) {
    report->faults.push_back(error);
    return;
  }
  report->located = true;
  report->package_offset = image.package_offset;
  report->package_end = image.package_end;
  report->has_signature = image.extent.has_signature;
  report->bad_security_entry = image.extent.bad_security_entry;
  report->certificate_size = image.extent.has_signature ? image.extent.fields.certificate_size : 0;
  PrefixStream& s = *image.package;
  const uint64_t base = image.package_offset, end = image.package_end;
  Verifier v(s, base, end, image.extent.has_signature, report);
  auto stub_fault = [&](const std::string& what) { report->faults.push_back("stub: " + what); };

  if (image.has_marker && image.stamped_offset != image.package_offset)
    stub_fault("the stamped package offset " + std::to_string(image.stamped_offset) +
               " is not where the package is read (" + std::to_string(image.package_offset) + ")");
  StubFields stub;
  if (image.package_offset < kStubFieldsEnd || !ReadStubFields(s, &stub)) {
    stub_fault("shorter than the stub fields");
    return;
  }
  report->uninstaller = stub.uninstaller != 0;
  if (report->uninstaller) {
    if (stub.total_unpacked_size != 0x01010101u)
      stub_fault("an uninstaller's size bytes are 01 01 01 01, these are not");
    if (stub.self_check_value != kUninstallerMarker)
      stub_fault("an uninstaller carries \"vorn2003\" as its self-check value, not this one");
  } else {
    // The same check as Hollin's: a signature's table and header fields are left out.
    SelfCheckResult check = CheckSelfCheckValue(file, base, stub.self_check_value);
    if (!check.matches)
      stub_fault("self-check value \"" + stub.self_check_value + "\" does not match the CRC of bytes 93 to the end" +
                 (check.extent.has_signature ? " of the package" : "") + ", " + check.value());
  }

  PackageHeader h;
  if (!ReadPackageHeader(s, base, &h)) {
    v.Fault(base, "the package header runs past the end of the package");
    return;
  }
  if (h.has_licence) {
    uint64_t next = 0;
    v.CheckPrefixedBlock(h.licence_block.position, "record 12a licence", UINT64_MAX, nullptr, &next);
  }

  if (report->uninstaller) {
    UninstallData data;
    ReadUninstallData(s, h.header_end, &data);
    if (!data.has_length || data.declared_length > end - h.header_end - 4) {
      v.Fault(h.header_end, "uninstall data: its file list runs past the end of the package");
      return;
    }
    auto lines = v.CheckLines(h.header_end, data.file_list_text, "uninstall file list");
    report->files = lines.size();
    v.CheckActions(h.header_end + 4 + data.declared_length, true);
    return;
  }

  if (h.reserved_byte != 0)
    v.Fault(h.reserved_byte_position, "record 16 is " + std::to_string(h.reserved_byte) + ", not 0");
  std::string text;
  uint64_t first = 0;
  if (!v.CheckPrefixedBlock(h.file_list_position, "record 17 file list", kMaxFileListText, &text, &first))
    return;
  auto lines = v.CheckLines(h.file_list_position, text, "file list");
  report->files = lines.size();
  if (!v.lines_ok()) return;
  uint64_t position = first;
  uint32_t total = 0;
  for (size_t k = 0; k < lines.size(); ++k) {
    const FileListLine& line = lines[k];
    std::string what = "file block " + std::to_string(k + 1) + " \"" + line.name + "\"";
    if (line.block_length > end - position) {
      v.Fault(position, what + ": its " + std::to_string(line.block_length) +
                            " bytes run past the end of the package");
      return;
    }
    BlockCheck b = CheckStoredBlock(s, position, line.block_length);
    if (!b.ok()) {
      v.Fault(position, what + " " + b.Problem());
    } else if (CrcText(b.crc) != line.crc_text) {
      v.Fault(position, what + ": CRC " + CrcText(b.crc) + ", the file list says " + line.crc_text);
    }
    total += b.unpacked;
    report->unpacked += b.unpacked;
    position += line.block_length;
  }
  if (total != stub.total_unpacked_size)
    stub_fault("total unpacked size " + std::to_string(stub.total_unpacked_size) +
               ", the blocks hold " + std::to_string(total));
  v.CheckActions(position, false);
}

}  // namespace hollin
