#include "tests/archive/fake_platform.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/byte_reader.h"

namespace vellumo::test {

namespace {

class NativeInputFile : public InputFile {
 public:
  NativeInputFile(FILE* f, int* reads) : file_(f), reads_(reads) {}
  ~NativeInputFile() override { std::fclose(file_); }
  uint64_t Size() override {
    std::fseek(file_, 0, SEEK_END);
    return static_cast<uint64_t>(ftello(file_));
  }
  size_t ReadAt(uint64_t offset, void* buffer, size_t count) override {
    ++*reads_;
    if (fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) return 0;
    return std::fread(buffer, 1, count, file_);
  }

 private:
  FILE* file_;
  int* reads_;
};

class NativeOutputFile : public OutputFile {
 public:
  explicit NativeOutputFile(FILE* f) : file_(f) {}
  ~NativeOutputFile() override { std::fclose(file_); }
  bool Write(const void* data, size_t count) override {
    position_ += count;
    return std::fwrite(data, 1, count, file_) == count;
  }
  uint64_t Position() override { return position_; }
  void CopyTimeFrom(const std::string&) override {}

 private:
  FILE* file_;
  uint64_t position_ = 0;
};

std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      char c = s[++i];
      out.push_back(c == 'n' ? '\n' : c == 't' ? '\t' : c);
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

}  // namespace

FakePlatform::FakePlatform() {
  // The string table as the program links it, parsed from its resource script.
  const char* source = std::getenv("VELLUMO_SOURCE_DIR");
  std::ifstream rc(std::string(source ? source : ".") + "/viewer/archive/messages.rc");
  std::string line;
  while (std::getline(rc, line)) {
    size_t comma = line.find(',');
    size_t open = line.find('"');
    size_t close = line.rfind('"');
    if (comma == std::string::npos || open == std::string::npos || close <= open) continue;
    int id = std::atoi(line.substr(0, comma).c_str());
    if (id > 0) table_[id] = Unescape(line.substr(open + 1, close - open - 1));
  }
}

bool FakePlatform::FileExists(const std::string& path) {
  if (kind == DriveKind::Removable) return disk_files.count(inserted) > 0;
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string FakePlatform::FullPath(const std::string& path) {
  if (!full_path.empty()) return full_path;
  std::string result = drive_prefix + path;
  std::replace(result.begin(), result.end(), '/', '\\');
  return result;
}

bool FakePlatform::VolumeLabel(const std::string&, std::string* out) {
  if (kind == DriveKind::Removable) {
    if (inserted.empty()) return false;
    *out = inserted;
    return true;
  }
  if (!volume_readable) return false;
  *out = label;
  return true;
}

bool FakePlatform::DriveTotalSize(const std::string&, uint64_t* size) {
  if (!size_known) return false;
  *size = 1ull << 36;
  return true;
}

std::unique_ptr<InputFile> FakePlatform::OpenRead(const std::string& path) {
  std::string native = path;
  if (kind == DriveKind::Removable) {
    auto it = disk_files.find(inserted);
    if (it == disk_files.end()) return nullptr;
    native = it->second;
  }
  FILE* f = std::fopen(native.c_str(), "rb");
  if (!f) return nullptr;
  return std::make_unique<NativeInputFile>(f, &reads);
}

uint8_t FakeOemToAnsi(uint8_t byte) {
  switch (byte) {
    case 0x81: return 0xFC;  // u umlaut
    case 0x84: return 0xE4;  // a umlaut
    case 0x8E: return 0xC4;  // A umlaut
    case 0x94: return 0xF6;  // o umlaut
    case 0xE1: return 0xDF;  // sharp s
    default: return '_';
  }
}
uint8_t FakePlatform::OemToAnsi(uint8_t byte) { return FakeOemToAnsi(byte); }

std::string FakeUtf8ToAnsi(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    uint8_t c = static_cast<uint8_t>(text[i]);
    uint32_t code = c;
    size_t length = 1;
    if (c >= 0xF0) { code = c & 0x07; length = 4; }
    else if (c >= 0xE0) { code = c & 0x0F; length = 3; }
    else if (c >= 0xC0) { code = c & 0x1F; length = 2; }
    for (size_t k = 1; k < length && i + k < text.size(); ++k)
      code = (code << 6) | (static_cast<uint8_t>(text[i + k]) & 0x3F);
    out.push_back(code < 0x100 ? static_cast<char>(code) : '?');
    i += length;
  }
  return out;
}
std::string FakePlatform::Utf8ToAnsi(const std::string& text) { return FakeUtf8ToAnsi(text); }

bool FakePlatform::MessageText(int id, std::string* text) {
  if (missing_table) return false;
  auto it = table_.find(id);
  if (it == table_.end()) return false;
  *text = it->second;
  return true;
}

bool FakePlatform::AskForDisk(const std::string& text, bool stop_icon) {
  disk_questions.push_back(text + (stop_icon ? " [stop]" : ""));
  if (disk_script.empty()) return false;
  std::string next = disk_script.front();
  disk_script.pop_front();
  if (next == "<cancel>") return false;
  inserted = next;
  return true;
}

std::string FakePlatform::Prompt(const std::string& title, const std::string& prompt_line) {
  prompts.emplace_back(title, prompt_line);
  if (prompt_answers.empty()) return std::string();
  std::string answer = prompt_answers.front();
  prompt_answers.pop_front();
  return answer;
}

std::unique_ptr<OutputFile> FakePlatform::CreateTempZip(const std::string& folder, std::string* path,
                                                        int* failed_id) {
  static int counter = 0;
  std::string dir = folder.empty() ? TempFolder("join") : folder;
  *path = dir + "/zip" + std::to_string(++counter) + ".zip";
  FILE* f = std::fopen(path->c_str(), "wb");
  if (!f) {
    *failed_id = 11009;
    return nullptr;
  }
  return std::make_unique<NativeOutputFile>(f);
}

void FakePlatform::RemoveFile(const std::string& path) { std::remove(path.c_str()); }

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempFolder(const std::string& name) {
  const char* binary = std::getenv("VELLUMO_BINARY_DIR");
  std::string dir = std::string(binary ? binary : "/tmp") + "/tests/archive/tmp/" + name;
  std::string command = "rm -rf '" + dir + "' && mkdir -p '" + dir + "'";
  if (std::system(command.c_str()) != 0) std::abort();
  return dir;
}

std::string FixtureDir() {
  const char* binary = std::getenv("VELLUMO_BINARY_DIR");
  return std::string(binary ? binary : ".") + "/tests/archive/fixtures";
}

}  // namespace vellumo::test
