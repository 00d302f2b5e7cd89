// The library's own message texts, sent with callback code 4 (one table, looked up by
// error code). %s is the archive path, an entry name or a specification.
#pragma once
#include <string>

#include "unzip/unzip_interface.h"

namespace vellumo::unzip {

struct MessageText {
  UnzipError code;
  const char* text;
};

constexpr MessageText kMessageTexts[] = {
    {kErrorOpenArchive, "VUnzip: cannot open the archive %s"},
    {kErrorNotZip, "VUnzip: %s is not a valid Zip archive"},
    {kErrorBadDirectory, "VUnzip: the central directory of %s is damaged"},
    {kErrorBadLocalHeader, "VUnzip: the local header of %s is missing or damaged"},
    {kErrorUnsupportedMethod, "VUnzip: %s uses a compression method that is not supported"},
    {kErrorBlockTooSmall, "VUnzip: %s does not fit into the output block"},
    {kErrorTruncatedData, "VUnzip: the compressed data of %s is truncated or damaged"},
    {kErrorBadCrc, "VUnzip: CRC error in %s"},
    {kErrorWrongPassword, "VUnzip: wrong or missing password for %s"},
    {kErrorNotFound, "VUnzip: no entry matches %s"},
    {kErrorBadParams, "VUnzip: invalid parameter record%s"},
    {kErrorTooLarge, "VUnzip: %s is too large to extract here"},
    {kErrorWriteFile, "VUnzip: could not write %s"},
    {kErrorUnsafeName, "VUnzip: %s would be written outside the target folder, skipped"},
    {kErrorCancelled, "VUnzip: extraction of %s cancelled"},
    {kErrorImpossibleSize, "VUnzip: %s is damaged: its size field claims more than its data holds"},
};

inline const char* MessageFormat(UnzipError code) {
  for (const MessageText& m : kMessageTexts)
    if (m.code == code) return m.text;
  return "VUnzip: error %s";
}

// The message with its subject in place of %s, cut to fit the callback's text field.
// (No printf: its formatter would be most of the DLL's size.)
inline std::string MessageText(UnzipError code, const std::string& subject) {
  std::string text = MessageFormat(code);
  size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, subject);
  if (text.size() > kCallbackTextSize - 1) text.resize(kCallbackTextSize - 1);
  return text;
}

}  // namespace vellumo::unzip
