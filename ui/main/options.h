// The options record: the keys of the "Settings" section of the settings
// store, their defaults and their stored forms, and reading them so that a
// damaged value never stops the program.
#pragma once

#include <cstdint>
#include <string>

#include "platform/settings_store.h"

namespace quellix::options {

inline constexpr const char* kSection = "Settings";

inline constexpr const char* kChkLinks = "chkLinks";
inline constexpr const char* kChkSound = "chkSound";
inline constexpr const char* kChkRunAtStart = "chkRunAtStart";
inline constexpr const char* kChkOnTop = "chkOnTop";
inline constexpr const char* kChkAuto = "chkAuto";
inline constexpr const char* kChkStopPop = "chkStopPop";
inline constexpr const char* kIntStopped = "intStopped";
inline constexpr const char* kStrAllowed = "strAllowed";
inline constexpr const char* kStrDisallowed = "strDisallowed";
inline constexpr const char* kState = "state";
inline constexpr const char* kShowHelp = "showHelp";

inline constexpr const char* kStateUp = "up";
inline constexpr const char* kStateDown = "down";

// The application name the options are stored under: the product name of the
// program's version information (the build's product name if that is unreadable).
std::string ApplicationName();

// The default of strAllowed: the click-counter page on the default allowed host.
std::string DefaultAllowedText(const std::string& default_allowed_host);

// Reads the options of one application from a store.
class Options {
 public:
  Options(platform::SettingsStore& store, std::string app) : store_(store), app_(std::move(app)) {}

  // A switch is stored as "0" or "1"; anything else (letters, an empty text,
  // another number) gives the default.
  int ReadSwitch(const char* key, int default_value) const;
  // The count: a decimal number from 0 to the largest signed 32-bit value;
  // anything else gives 0.
  std::int32_t ReadCount(const char* key) const;
  // The window state: an empty text gives "up"; any other text is taken as it
  // is (only exactly "up" shows the window).
  std::string ReadState() const;
  std::string ReadText(const char* key, const std::string& default_value) const;

  bool Write(const char* key, const std::string& value) const;
  bool WriteNumber(const char* key, long long value) const { return Write(key, std::to_string(value)); }

 private:
  platform::SettingsStore& store_;
  std::string app_;
};

}  // namespace quellix::options
