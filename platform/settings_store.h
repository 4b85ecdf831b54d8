// The per-user settings store: text values addressed by application name,
// section and key. A read names a default, returned when the key is absent.
//
// Windows: HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<app>\<section>,
// one REG_SZ value per key (where the platform's classic per-user program
// settings live, so settings written by earlier versions carry over).
// Portable build: the same application, section and key structure in a file.
#pragma once

#include <memory>
#include <string>

namespace quellix::platform {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // The stored text; `default_value` when the key is absent, is not text, or
  // cannot be read.
  virtual std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                                 const std::string& default_value) = 0;
  // False when the value could not be stored.
  virtual bool SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                           const std::string& value) = 0;
};

// The store of the platform the program runs on.
std::unique_ptr<SettingsStore> OpenUserSettingsStore();

// The file form: one "[app\section]" line per section, then "key=value"
// lines. Backslash, CR, LF, "=", "[" and "]" inside names and values are
// written as \xHH, so list texts with line breaks survive. Names compare
// ignoring letter case, as registry names do. Lines that do not fit the form
// are skipped when read and dropped at the next write.
class FileSettingsStore : public SettingsStore {
 public:
  explicit FileSettingsStore(std::string path) : path_(std::move(path)) {}
  std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                         const std::string& default_value) override;
  bool SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                   const std::string& value) override;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace quellix::platform
