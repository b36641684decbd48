// One appraisal data file as the import reads it: its path and its keys. The file is read
// and parsed once; every key then comes from memory.
#pragma once

#include <string>

#include "platform/profile.h"

namespace valtrix::import {

class AppraisalFile {
 public:
  virtual ~AppraisalFile() = default;
  virtual const std::string& path() const = 0;
  // The file's keys for the next read.
  virtual const nb::Profile& keys() const = 0;
};

class LoadedAppraisalFile final : public AppraisalFile {
 public:
  // Throws std::runtime_error naming the file when it cannot be read: a file whose keys
  // were never seen must not become an empty appraisal and then be deleted. Text is
  // converted to Windows-1252; a character without a Windows-1252 form throws too.
  explicit LoadedAppraisalFile(std::string path);
  const std::string& path() const override { return path_; }
  const nb::Profile& keys() const override { return keys_; }

 private:
  std::string path_;
  nb::Profile keys_;
};

}  // namespace valtrix::import
