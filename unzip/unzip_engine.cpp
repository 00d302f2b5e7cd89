#include "unzip/unzip_engine.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include <sys/stat.h>
#if defined(_WIN32)
#include <direct.h>
#endif

#include "common/byte_reader.h"
#include "common/replace_file.h"
#include "common/stored_name.h"
#include "unzip/entry_decoder.h"
#include "unzip/unzip_messages.h"
#include "unzip/zip_crypto.h"
#include "unzip/zip_directory.h"

namespace vellumo::unzip {
namespace {

#if defined(_WIN32)
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

int32_t Clamp32(uint64_t v) { return static_cast<int32_t>(std::min<uint64_t>(v, 0x7FFFFFFF)); }

bool MakeFolder(const std::string& path) {
#if defined(_WIN32)
  _mkdir(path.c_str());
#else
  mkdir(path.c_str(), 0777);
#endif
  struct stat st;
  return stat(path.c_str(), &st) == 0 && (st.st_mode & S_IFDIR);
}

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// A file of this run's own beside the target: the entry is decoded into it and moved over
// the target only when it checked out, so a failed entry leaves the earlier file as it was.
// Removed on every other way out.
class TempFile {
 public:
  ~TempFile() {
    if (!path_.empty()) std::remove(path_.c_str());
  }
  // Opens the temporary file for a fresh attempt (created on the first one, emptied on the
  // next); nullptr when no new file can be made in the folder.
  std::FILE* Open(const std::string& target);
  bool MoveOver(const std::string& target) {
    if (!MoveFileOver(path_, target)) return false;
    path_.clear();
    return true;
  }

 private:
  std::string path_;
};

std::FILE* TempFile::Open(const std::string& target) {
  if (!path_.empty()) return std::fopen(path_.c_str(), "wb");
  size_t slash = target.find_last_of("\\/");
  return CreateFileIn(slash == std::string::npos ? std::string() : target.substr(0, slash), &path_);
}

enum class EntryOutcome { kWritten, kFailed, kSkipped, kStop };

class Run {
 public:
  Run(ArchiveSource& source, const UnzipRequest& request, const CodePageConverter& converter,
      const EventFn& events)
      : source_(source), request_(request), converter_(converter), events_(events) {}

  int32_t Execute();

 private:
  bool Send(UnzipEvent& e) {
    if (!events_) return true;
    if (!events_(e)) {
      stopped_ = true;
      return false;
    }
    return true;
  }
  bool Notify(int32_t action, int32_t size, const std::string& text = std::string()) {
    UnzipEvent e;
    e.action = action;
    e.size = size;
    e.text = text;
    return Send(e);
  }
  bool Message(UnzipError code, const std::string& subject) {
    UnzipEvent e;
    e.action = kActionMessage;
    e.errorCode = code;
    e.text = MessageText(code, subject);
    return Send(e);
  }

  EntryOutcome ExtractOne(const CentralEntry& entry, const std::string& name);
  EntryOutcome Fail(UnzipError code, const std::string& name) {
    return Message(code, name) ? EntryOutcome::kFailed : EntryOutcome::kStop;
  }
  // A fresh output target for one decoding attempt; nullptr when the file cannot be made.
  std::unique_ptr<OutputTarget> OpenTarget(UniqueFile& file, const std::string& path);
  bool AskPassword(const std::string& name, int32_t& remaining, std::string& password);

  ArchiveSource& source_;
  const UnzipRequest& request_;
  const CodePageConverter& converter_;
  const EventFn& events_;
  bool stopped_ = false;
  TempFile* temp_ = nullptr;  // the entry's temporary file while ExtractOne runs
  int64_t shift_ = 0;
  std::string lastGoodPassword_;
};

bool Run::AskPassword(const std::string& name, int32_t& remaining, std::string& password) {
  if (remaining <= 0) return false;
  UnzipEvent e;
  e.action = kActionPassword;
  e.errorCode = 0;  // the one-prompt form: confirming is for adding only
  e.size = remaining;
  e.text = name;
  if (!events_) return false;
  if (!Send(e)) return false;
  if (e.errorCode != 1 || e.text.empty()) {
    remaining = 0;
    return false;
  }
  password = e.text.substr(0, kCallbackTextSize - 1);
  // The caller hands back the count it was sent (capped); it may lower it, never raise it.
  remaining = std::min(remaining, e.size) - 1;
  return true;
}

std::unique_ptr<OutputTarget> Run::OpenTarget(UniqueFile& file, const std::string& path) {
  if (request_.useOutputBlock && !request_.testOnly)
    return std::make_unique<BlockTarget>(request_.outputBlock,
                                         static_cast<size_t>(request_.outputSize));
  if (request_.testOnly) return std::make_unique<ChunkTarget>(nullptr);
  file.reset(temp_->Open(path));
  if (!file) return nullptr;
  std::FILE* f = file.get();
  return std::make_unique<ChunkTarget>(
      [f](const uint8_t* data, size_t n) { return std::fwrite(data, 1, n, f) == n; });
}

EntryOutcome Run::ExtractOne(const CentralEntry& entry, const std::string& name) {
  if (!Notify(kActionNewFile, Clamp32(entry.uncompressedSize), name)) return EntryOutcome::kStop;
  bool blockMode = request_.useOutputBlock && !request_.testOnly;
  bool isFolder = !name.empty() && name.back() == '\\';

  // Where a file goes in file mode; checked before anything is read.
  std::string path;
  if (!blockMode && !request_.testOnly) {
    std::string relative = name;
    if (!request_.keepFolderNames) {
      size_t slash = relative.find_last_of('\\');
      if (slash != std::string::npos) relative = relative.substr(slash + 1);
    }
    if (relative.empty() && isFolder) return EntryOutcome::kSkipped;
    // A folder entry is checked without its closing separator.
    if (!IsSafeRelativeName(isFolder ? relative.substr(0, relative.size() - 1) : relative))
      return Fail(kErrorUnsafeName, name);
    std::string base = request_.baseFolder;
    if (!base.empty() && base.back() != '\\' && base.back() != '/') base += kPathSeparator;
    path = base;
    size_t start = 0;
    for (;;) {  // create each folder on the way
      size_t slash = relative.find('\\', start);
      if (slash == std::string::npos) break;
      path += relative.substr(start, slash - start);
      if (!MakeFolder(path)) return Fail(kErrorWriteFile, name);
      path += kPathSeparator;
      start = slash + 1;
    }
    if (isFolder) return EntryOutcome::kSkipped;
    path += relative.substr(start);
    if (!request_.overwrite && FileExists(path)) {
      UnzipEvent e;
      e.action = kActionSkipped;
      e.size = 1;  // skipped because the file exists
      e.text = name;
      return Send(e) ? EntryOutcome::kSkipped : EntryOutcome::kStop;
    }
  }

  if (entry.method != kMethodStored && entry.method != kMethodDeflated)
    return Fail(kErrorUnsupportedMethod, name);
  if ((entry.flags & kFlagEncrypted) && (entry.flags & kFlagStrongEncryption))
    return Fail(kErrorUnsupportedMethod, name);
  if (blockMode) {
    if (entry.uncompressedSize > SIZE_MAX) return Fail(kErrorTooLarge, name);
    if (entry.uncompressedSize > request_.outputSize || (!request_.outputBlock && entry.uncompressedSize))
      return Fail(kErrorBlockTooSmall, name);
  }

  // The local header: its name and extra lengths place the data.
  uint64_t fileSize = source_.Size();
  // Stored offset plus the shift of an unadjusted prefix (wraps like the file's own math).
  uint64_t headerPos = entry.localHeaderOffset + static_cast<uint64_t>(shift_);
  uint8_t local[kLocalHeaderSize];
  if (headerPos > fileSize || !source_.ReadAt(headerPos, local, sizeof local) ||
      GetU32(local) != kLocalHeaderSignature)
    return Fail(kErrorBadLocalHeader, name);
  uint64_t dataPos = headerPos + kLocalHeaderSize + GetU16(local + 26) + GetU16(local + 28);
  if (dataPos > fileSize || entry.compressedSize > fileSize - dataPos)
    return Fail(kErrorTruncatedData, name);

  EntryData data;
  data.offset = dataPos;
  data.compressedSize = entry.compressedSize;
  data.uncompressedSize = entry.uncompressedSize;
  data.method = entry.method;

  uint8_t header[kEncryptionHeaderSize];
  bool encrypted = entry.flags & kFlagEncrypted;
  if (encrypted) {
    if (data.compressedSize < kEncryptionHeaderSize ||
        !source_.ReadAt(dataPos, header, sizeof header))
      return Fail(kErrorTruncatedData, name);
    data.offset += kEncryptionHeaderSize;
    data.compressedSize -= kEncryptionHeaderSize;
  }
  uint8_t check = EncryptionCheckByte(entry.flags, entry.crc, entry.time);

  ProgressFn progress = [this](uint32_t bytes) { return Notify(kActionProgress, Clamp32(bytes)); };

  // Candidates: the given password, the last one that worked, then the caller's answers.
  std::vector<std::string> tried;
  size_t candidateIndex = 0;
  int32_t remaining = std::min(request_.passwordRequestCount, kMaxPasswordRequestCount);
  bool anyHeaderPassed = false;
  UnzipError lastError = kErrorWrongPassword;
  uint32_t lastCrc = 0;
  std::string candidate;
  TempFile temp;  // file mode: every attempt decodes into it; the target only at the end
  temp_ = &temp;
  // The entry checked out (or the caller keeps it): in file mode it now replaces the target.
  auto written = [&]() {
    if (!path.empty() && !temp.MoveOver(path)) return Fail(kErrorWriteFile, name);
    if (encrypted) lastGoodPassword_ = candidate;
    return EntryOutcome::kWritten;
  };
  for (;;) {
    std::unique_ptr<TraditionalDecryptor> decryptor;
    if (encrypted) {
      std::string password;
      bool have = false;
      while (!have && candidateIndex < 2) {
        const std::string& c = candidateIndex == 0 ? request_.password : lastGoodPassword_;
        ++candidateIndex;
        if (!c.empty() && std::find(tried.begin(), tried.end(), c) == tried.end()) {
          password = c;
          have = true;
        }
      }
      if (!have && !AskPassword(name, remaining, password)) {
        if (stopped_) return EntryOutcome::kStop;
        break;
      }
      tried.push_back(password);
      decryptor = std::make_unique<TraditionalDecryptor>(password);
      if (!decryptor->AcceptHeader(header, check)) continue;
      anyHeaderPassed = true;  // the keys have now consumed the header
      candidate = password;
    }
    UniqueFile file;
    std::unique_ptr<OutputTarget> target = OpenTarget(file, path);
    if (!target) return Fail(kErrorWriteFile, name);
    DecodeResult r = DecodeEntry(source_, data, decryptor.get(), *target, progress);
    if (file && std::fclose(file.release()) != 0 && r.status == DecodeStatus::kOk)
      r.status = DecodeStatus::kWriteError;
    if (r.status == DecodeStatus::kOk && r.crc == entry.crc) return written();
    switch (r.status) {
      case DecodeStatus::kStopped:
        return EntryOutcome::kStop;
      case DecodeStatus::kReadError:
        return Fail(kErrorTruncatedData, name);
      case DecodeStatus::kWriteError:
        return Fail(kErrorWriteFile, name);
      case DecodeStatus::kOk:
        lastError = kErrorBadCrc;
        lastCrc = r.crc;
        break;
      case DecodeStatus::kTooLong:
        lastError = kErrorBlockTooSmall;
        break;
      default:
        lastError = kErrorTruncatedData;
        break;
    }
    // Without encryption the data is simply bad; with it, a wrong password that passed
    // the one-byte header check shows up here, so the next password gets its chance.
    if (!encrypted) break;
  }
  if (encrypted && !anyHeaderPassed) return Fail(kErrorWrongPassword, name);
  if (lastError == kErrorBadCrc) {
    UnzipEvent e;
    e.action = kActionCrcError;
    e.errorCode = static_cast<int32_t>(entry.crc);
    e.size = static_cast<int32_t>(lastCrc);
    e.text = name;
    if (!Send(e)) return EntryOutcome::kStop;
    // In file mode the caller may keep the data all the same (answer 1): the file then
    // replaces the target as a good one would. Any other answer leaves the target alone, as
    // does a caller that left the field as sent (a stored CRC that happens to be 1).
    if (!path.empty() && e.errorCode == kCrcAnswerExtract && entry.crc != uint32_t(kCrcAnswerExtract))
      return written();
  }
  return Fail(lastError, name);
}

int32_t Run::Execute() {
  DirectoryBytes dir;
  ReadDirectoryBytes(source_, dir);
  if (dir.status == DirectoryStatus::kReadError) {
    Message(kErrorOpenArchive, request_.archivePath);
    return 0;
  }
  if (dir.status == DirectoryStatus::kNotZip) {
    Message(kErrorNotZip, request_.archivePath);
    return 0;
  }
  if (dir.status != DirectoryStatus::kOk) {
    Message(kErrorBadDirectory, request_.archivePath);
    return 0;
  }
  shift_ = dir.offsetShift;
  bool blockMode = request_.useOutputBlock && !request_.testOnly;

  std::vector<std::string> specs;
  for (const std::string& s : request_.specs) specs.push_back(NormalizedSpec(s));

  // Selection: in block mode the first entry whose name equals the first specification
  // (as the viewer finds it in its own list); otherwise every entry matching any. One
  // pass over the directory bytes; only the entries taken are copied out. The pass goes
  // on to the last header even after the block's entry: a malformed header anywhere
  // makes the whole directory bad.
  std::vector<CentralEntry> selected;
  std::vector<std::string> names;
  std::vector<bool> specUsed(specs.size(), false);
  std::string name;  // storage reused from entry to entry
  CentralWalker walker(dir);
  CentralRecord record;
  if (blockMode && !specs.empty()) {
    ExactNameMatcher matcher(specs[0], converter_);
    while (walker.Next(record)) {
      if (selected.empty() && matcher.Matches(record.fields, record.name, record.nameLength)) {
        specUsed[0] = true;
        selected.push_back(record.ToEntry());
        ListedNameInto(record.fields, record.name, record.nameLength, converter_, name);
        names.push_back(name);
      }
    }
  } else if (!blockMode) {
    while (walker.Next(record)) {
      ListedNameInto(record.fields, record.name, record.nameLength, converter_, name);
      bool take = specs.empty();
      for (size_t s = 0; s < specs.size(); ++s) {
        if (WildcardMatch(specs[s], name, converter_)) {
          specUsed[s] = true;
          take = true;
        }
      }
      if (take) {
        selected.push_back(record.ToEntry());
        names.push_back(name);
      }
    }
  } else {
    // Block mode without a name: a bad directory is still reported first.
    while (walker.Next(record)) continue;
  }
  if (walker.Failed()) {
    Message(kErrorBadDirectory, request_.archivePath);
    return 0;
  }
  if (blockMode && specs.empty()) {
    Message(kErrorBadParams, ": no entry named for the output block");
    return 0;
  }
  for (size_t s = 0; s < specs.size(); ++s) {
    if (!specUsed[s] && !Message(kErrorNotFound, specs[s])) return 0;
    if (blockMode) break;
  }

  uint64_t totalSize = 0;
  for (const CentralEntry& e : selected) totalSize += e.uncompressedSize;
  if (!Notify(kActionTotalFiles, Clamp32(selected.size()))) return 0;
  if (!Notify(kActionTotalSize, Clamp32(totalSize))) return 0;

  int32_t written = 0;
  for (size_t k = 0; k < selected.size(); ++k) {
    EntryOutcome outcome = ExtractOne(selected[k], names[k]);
    if (outcome == EntryOutcome::kWritten) ++written;
    if (outcome == EntryOutcome::kStop || stopped_) return written;
  }
  Notify(kActionEndOfBatch, 0);
  return written;
}

}  // namespace

bool IsSafeRelativeName(const std::string& name) { return vellumo::IsContainedName(name); }

int32_t RunUnzip(ArchiveSource& source, const UnzipRequest& request,
                 const CodePageConverter& converter, const EventFn& events) {
  Run run(source, request, converter, events);
  return run.Execute();
}

int32_t RunUnzipFile(const UnzipRequest& request, const CodePageConverter& converter,
                     const EventFn& events) {
  FileSource source;
  if (!source.Open(request.archivePath)) {
    if (events) {
      UnzipEvent e;
      e.action = kActionMessage;
      e.errorCode = kErrorOpenArchive;
      e.text = MessageText(kErrorOpenArchive, request.archivePath);
      events(e);
    }
    return 0;
  }
  return RunUnzip(source, request, converter, events);
}

}  // namespace vellumo::unzip
