// A stand-in for Hollin in tests: a console program that hollin-pack can use as its stub.
// Run as an installer ("/a FOLDER LOG") it installs into FOLDER; run as the uninstaller it
// wrote ("/u LOG") it uninstalls from its own folder. Either way the log goes to LOG.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "installer/actions/install_host.h"
#include "installer/package/header_string.h"
#include "installer/package/package_offset.h"
#include "installer/package/package_reader.h"

namespace {

class ConsoleHost : public hollin::InstallHost {
 public:
  ConsoleHost(std::string path, std::unique_ptr<hollin::FileStream>* package)
      : path_(std::move(path)), package_(package) {}
  std::string log;
  void ClearLog() override { log.clear(); }
  void AppendLog(const std::string& text) override { log += text; }
  std::string PathText() override { return path_; }
  void SetPathText(const std::string& text) override { path_ = text; }
  bool SkipCrcChecked() override { return false; }
  void ShowProgress() override {}
  void SetProgressMax(int) override {}
  void SetProgress(int) override {}
  std::string ActionCaption() override { return caption_; }
  void SetActionCaption(const std::string& caption) override { caption_ = caption; }
  void SetActionEnabled(bool) override {}
  void SetWindowCaption(const std::string&) override {}
  void ShowMessage(const std::string& text) override { log += "message: " + text + "\r\n"; }
  bool AskYesNo(const std::string&) override { return false; }
  void PumpMessages() override {}
  void EndProgram() override {}
  void ClosePackage() override { package_->reset(); }

 private:
  std::string path_;
  std::string caption_ = "Setup";
  std::unique_ptr<hollin::FileStream>* package_;
};

}  // namespace

int main(int argc, char** argv) {
  char own[MAX_PATH + 1];
  DWORD n = GetModuleFileNameA(nullptr, own, sizeof own);
  if (n == 0 || n >= sizeof own || argc < 3) return 2;
  std::unique_ptr<hollin::FileStream> package = hollin::FileStream::Open(own, hollin::FileStream::Mode::kRead);
  if (!package) return 3;
  hollin::StubFields stub;
  hollin::PackageHeader header;
  if (!hollin::ReadStubFields(*package, &stub) || !hollin::ReadPackageHeader(*package, hollin::PackageOffset(), &header))
    return 4;
  hollin::InstallContext context;
  context.package = package.get();
  context.own_path = own;
  context.first_argument = argv[1];
  context.registry_import = header.registry_import ? 1 : 0;
  context.uninstall_key = header.uninstall_key.text;
  context.display_name = header.display_name.text;
  context.header_end = header.header_end;
  context.file_list_position = header.file_list_position;
  std::string log_path;
  ConsoleHost host(stub.uninstaller ? std::string() : argv[2], &package);
  if (stub.uninstaller) {
    log_path = argv[2];
    hollin::RunUninstall(host, context);
  } else {
    if (argc < 4) return 2;
    log_path = argv[3];
    hollin::RunInstall(host, context);
  }
  std::FILE* out = std::fopen(log_path.c_str(), "wb");
  if (!out) return 5;
  std::fwrite(host.log.data(), 1, host.log.size(), out);
  std::fclose(out);
  return 0;
}
