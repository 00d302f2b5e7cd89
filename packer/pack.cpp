#include "packer/pack.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

#include "installer/package/package_format.h"
#include "installer/package/package_offset.h"
#include "installer/package/stream.h"

#ifdef _WIN32
#include <process.h>
#define HOLLIN_GETPID _getpid
#else
#include <unistd.h>
#define HOLLIN_GETPID getpid
#endif

namespace hollin {

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* out) {
  auto file = FileStream::Open(path, FileStream::Mode::kRead);
  if (!file) return false;
  uint64_t size = file->Size();
  if (size == UINT64_MAX || size > SIZE_MAX) return false;
  try {
    out->resize(static_cast<size_t>(size));
  } catch (...) {
    return false;
  }
  size_t got = 0;
  while (got < out->size()) {
    size_t n = file->Read(out->data() + got, out->size() - got);
    if (n == 0) return false;
    got += n;
  }
  return true;
}

bool CheckStub(const std::vector<uint8_t>& stub, const std::string& path, std::string* error) {
  uint32_t stamped = 0;
  if (!FindStampedPackageOffset(stub.data(), stub.size(), &stamped, nullptr)) {
    *error = "stub " + path + " has no package-offset marker (or more than one)";
    return false;
  }
  if (stamped != stub.size()) {
    *error = "stub " + path + " is " + std::to_string(stub.size()) +
             " bytes long but its package offset is " + std::to_string(stamped);
    return false;
  }
  if (stub.size() < kStubFieldsEnd) {
    *error = "stub " + path + " is too short to hold the stub fields";
    return false;
  }
  return true;
}

bool PackFiles(const std::vector<ManifestFile>& files, const std::string& root, unsigned jobs,
               bool progress, std::vector<PackedFile>* out, std::string* error) {
  out->assign(files.size(), PackedFile{});
  if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
  jobs = std::min<unsigned>(jobs, std::max<size_t>(files.size(), 1));
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  std::mutex lock;
  size_t done = 0;
  std::string first_error;
  size_t first_error_index = SIZE_MAX;
  auto work = [&]() {
    for (;;) {
      size_t i = next++;
      if (i >= files.size() || failed) return;
      const ManifestFile& f = files[i];
      std::string path = root.empty() ? f.source : root + "/" + f.source;
      std::vector<uint8_t> content;
      std::string problem;
      if (!ReadWholeFile(path, &content)) {
        problem = "missing or unreadable file " + path + " (manifest line " +
                  std::to_string(f.line) + ")";
      } else if (content.size() > UINT32_MAX) {
        problem = "file " + path + " is larger than 4 GiB";
      } else if (!PackFile(f.stored_name, content.data(), content.size(),
                           kPackCompressionLevel, &(*out)[i])) {
        problem = "cannot compress " + path;
      }
      std::lock_guard<std::mutex> guard(lock);
      if (!problem.empty()) {
        // Report the first failing file in manifest order, whatever thread saw it first.
        if (i < first_error_index) {
          first_error_index = i;
          first_error = problem;
        }
        failed = true;
        return;
      }
      ++done;
      if (progress) {
        std::printf("[%zu/%zu] %s  %zu -> %zu bytes\n", done, files.size(),
                    f.stored_name.c_str(), content.size(), (*out)[i].block.size());
        std::fflush(stdout);
      }
    }
  };
  std::vector<std::thread> threads;
  for (unsigned t = 1; t < jobs; ++t) threads.emplace_back(work);
  work();
  for (auto& t : threads) t.join();
  if (failed) {
    *error = first_error;
    return false;
  }
  return true;
}

bool Pack(const PackOptions& options, PackReport* report, std::string* error) {
  std::vector<uint8_t> manifest_bytes;
  if (!ReadWholeFile(options.manifest_path, &manifest_bytes)) {
    *error = "cannot read manifest " + options.manifest_path;
    return false;
  }
  Manifest manifest;
  std::string problem;
  if (!ParseManifest(std::string(manifest_bytes.begin(), manifest_bytes.end()), &manifest,
                     &problem)) {
    *error = options.manifest_path + ":" + problem;
    return false;
  }
  std::vector<uint8_t> stub;
  if (!ReadWholeFile(options.stub_path, &stub)) {
    *error = "cannot read stub " + options.stub_path;
    return false;
  }
  if (!CheckStub(stub, options.stub_path, error)) return false;
  if (!manifest.licence_file.empty()) {
    std::string path = options.root.empty() ? manifest.licence_file
                                            : options.root + "/" + manifest.licence_file;
    std::vector<uint8_t> licence;
    if (!ReadWholeFile(path, &licence)) {
      *error = "missing or unreadable licence file " + path + " (manifest line " +
               std::to_string(manifest.licence_line) + ")";
      return false;
    }
    manifest.spec.licence_text.assign(licence.begin(), licence.end());
  }
  std::vector<PackedFile> packed;
  if (!PackFiles(manifest.files, options.root, options.jobs, options.progress, &packed, error))
    return false;
  if (!ValidatePackageSpec(manifest.spec, packed, error)) return false;

  std::string temp = options.output_path + ".tmp" + std::to_string(HOLLIN_GETPID());
  bool ok = false;
  {
    auto out = FileStream::Open(temp, FileStream::Mode::kCreate);
    if (!out) {
      *error = "cannot create " + temp;
      return false;
    }
    ok = WriteInstaller(*out, stub, manifest.spec, packed, &report->installer, error);
    if (ok && !out->Flush()) {
      *error = "cannot write " + temp;
      ok = false;
    }
  }
  if (ok) {
#ifdef _WIN32
    std::remove(options.output_path.c_str());  // rename does not replace on Windows
#endif
    if (std::rename(temp.c_str(), options.output_path.c_str()) != 0) {
      *error = "cannot rename " + temp + " to " + options.output_path;
      ok = false;
    }
  }
  if (!ok) {
    std::remove(temp.c_str());
    if (error->find(temp) == std::string::npos && error->find("write failed") == 0)
      *error = "cannot write " + options.output_path;
    return false;
  }
  report->files = packed.size();
  report->unpacked = report->installer.total_unpacked_size;
  report->packed = 0;
  for (const auto& p : packed) report->packed += p.block.size();
  return true;
}

}  // namespace hollin
