// Code signing of a packed installer with osslsigncode (Authenticode, SHA-256), and the check
// that the signed file still carries the same package and self-check value.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace hollin {

struct SignOptions {
  std::string certificate;    // -certs: PEM or DER certificate(s), the signer's first
  std::string key;            // -key: PEM or DER private key
  std::string password_file;  // -readpass, when the key is encrypted; empty: none
  std::string timestamp_url;  // -ts, an RFC 3161 time-stamping server; empty: none
  std::string tool = "osslsigncode";
  bool quiet = false;         // the tool's report on stdout is dropped
};

bool SignRequested(const SignOptions& options);

// The tool's command line: sign with SHA-256 from `input` into `output`.
std::vector<std::string> SignCommand(const SignOptions& options, const std::string& input,
                                     const std::string& output);

// Signs the installer `input` into `path`: the tool writes a temporary file beside `path`,
// which replaces `path` only when the tool succeeded and the signed file has a certificate
// table after the package and the same self-check value (`expected`). On failure `path` is
// left as it was and `error` says why; `input` is never changed.
bool SignInstaller(const std::string& input, const std::string& path, uint64_t package_offset,
                   const std::string& expected, const SignOptions& options, std::string* error);

// Runs a program found on PATH with these arguments and waits for it. Returns its exit
// status, or -1 when it cannot be started (with `error` set). `quiet` drops its stdout.
int RunTool(const std::vector<std::string>& arguments, bool quiet, std::string* error);

}  // namespace hollin
