// A page engine of the tests' own for the headless web browsers: it keeps each
// browser's history, and a navigation completes at the next message
// processing, as a real engine's pages arrive later.
#pragma once

#include <map>
#include <string>

#include "ui/controls/headless/headless_ui.h"

namespace quellix::testing {

// Outlives the browsers it serves (declare it before the windows).
class ScriptedPageEngine {
 public:
  ScriptedPageEngine() = default;
  ~ScriptedPageEngine() { ui::headless::SetPageEngine(nullptr); }
  ScriptedPageEngine(const ScriptedPageEngine&) = delete;
  ScriptedPageEngine& operator=(const ScriptedPageEngine&) = delete;
  // Installs the engine for the browsers made from now on.
  void Install();
  // The title a page reports once loaded; by default its address.
  void SetPageTitle(const std::string& url, const std::string& title) { titles_[url] = title; }

 private:
  std::map<std::string, std::string> titles_;
};

}  // namespace quellix::testing
