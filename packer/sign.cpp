#include "packer/sign.h"

#include <algorithm>
#include <cstdio>

#include "installer/package/package_extent.h"

#ifdef _WIN32
#include <process.h>
#define HOLLIN_GETPID _getpid
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#define HOLLIN_GETPID getpid
extern char** environ;
#endif

namespace hollin {

bool SignRequested(const SignOptions& options) {
  return !options.certificate.empty() || !options.key.empty() ||
         !options.password_file.empty() || !options.timestamp_url.empty();
}

std::vector<std::string> SignCommand(const SignOptions& options, const std::string& input,
                                     const std::string& output) {
  std::vector<std::string> args = {options.tool, "sign", "-h", "sha256",
                                   "-certs", options.certificate, "-key", options.key};
  if (!options.password_file.empty()) {
    args.push_back("-readpass");
    args.push_back(options.password_file);
  }
  if (!options.timestamp_url.empty()) {
    args.push_back("-ts");
    args.push_back(options.timestamp_url);
  }
  args.insert(args.end(), {"-in", input, "-out", output});
  return args;
}

#ifdef _WIN32
namespace {
// The C runtime joins the arguments with blanks; each is quoted as the runtime splits them.
std::string QuotedArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}
}  // namespace

int RunTool(const std::vector<std::string>& arguments, bool quiet, std::string* error) {
  (void)quiet;  // the tool's few lines of report stay on the console
  std::vector<std::string> quoted;
  for (const auto& a : arguments) quoted.push_back(QuotedArgument(a));
  std::vector<const char*> argv;
  for (const auto& a : quoted) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  intptr_t status = _spawnvp(_P_WAIT, arguments[0].c_str(), argv.data());
  if (status == -1) {
    *error = "cannot run " + arguments[0] + " (is it installed and on PATH?)";
    return -1;
  }
  return static_cast<int>(status);
}
#else
int RunTool(const std::vector<std::string>& arguments, bool quiet, std::string* error) {
  std::vector<char*> argv;
  for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (quiet) posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  int started = posix_spawnp(&pid, arguments[0].c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) {
    *error = "cannot run " + arguments[0] + " (is it installed and on PATH?)";
    return -1;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  *error = arguments[0] + " was ended by a signal";
  return -1;
}
#endif

bool SignInstaller(const std::string& input, const std::string& path, uint64_t package_offset,
                   const std::string& expected, const SignOptions& options, std::string* error) {
  if (options.certificate.empty() || options.key.empty()) {
    *error = "signing needs both --sign-cert and --sign-key";
    return false;
  }
  // Signing rewrites the CheckSum, which the self check then reads as zero; a value that was
  // there before would leave the packed self-check value unreachable.
  if (auto file = FileStream::Open(input, FileStream::Mode::kRead)) {
    uint8_t head[kPeHeaderSpan];
    size_t got = file->Read(head, std::min<uint64_t>(sizeof head, package_offset));
    PeSignatureFields fields = FindPeSignatureFields(head, got);
    if (fields.found && fields.checksum != 0) {
      *error = "the stub's PE CheckSum is not 0, so the signed installer would fail its self "
               "check; use a Hollin.exe stamped by this build (tools/stamp-package-offset "
               "clears it)";
      return false;
    }
  }
  std::string temp = path + ".signed" + std::to_string(HOLLIN_GETPID());
  std::remove(temp.c_str());
  int status = RunTool(SignCommand(options, input, temp), options.quiet, error);
  if (status != 0) {
    std::remove(temp.c_str());
    if (status > 0) *error = options.tool + " could not sign " + path + " (exit status " +
                             std::to_string(status) + ")";
    return false;
  }
  // The signature must sit after the package, and the package must be the one packed.
  SelfCheckResult check;
  if (auto file = FileStream::Open(temp, FileStream::Mode::kRead))
    check = CheckSelfCheckValue(*file, package_offset, expected);
  if (!check.extent.has_signature || !check.matches) {
    std::remove(temp.c_str());
    *error = "the file " + options.tool + " signed has " +
             (check.extent.has_signature ? "another self-check value (" + check.value() + ")"
                                         : std::string("no certificate table after the package"));
    return false;
  }
#ifdef _WIN32
  std::remove(path.c_str());  // rename does not replace on Windows
#endif
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    *error = "cannot rename " + temp + " to " + path;
    return false;
  }
  return true;
}

}  // namespace hollin
