// The per-user settings store: text values addressed by application name,
// section and key. A read names a default, returned when the key is absent.
//
// The values live in the registry, under HKEY_CURRENT_USER\Software\VB and
// VBA Program Settings\<app>\<section>, one REG_SZ value per key (where the
// platform's classic per-user program settings live, so settings written by
// earlier versions carry over). Names compare as registry names do, ignoring
// letter case.
#pragma once

#include <string>

#include "platform/registry.h"

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

// The store in a registry: the system's for the program, a portable tree in
// memory for native tests.
class RegistrySettingsStore final : public SettingsStore {
 public:
  explicit RegistrySettingsStore(Registry& registry = SystemRegistry()) : registry_(registry) {}
  std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                         const std::string& default_value) override;
  bool SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                   const std::string& value) override;

 private:
  Registry& registry_;
};

}  // namespace quellix::platform
