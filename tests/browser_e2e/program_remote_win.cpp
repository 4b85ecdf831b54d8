// The real-browser test's hands on the program: a console program under Wine
// that starts the real program and works its windows as a user would, one
// command per line on standard input, one answer line each ("ok ..." or
// "fail ..."). Commands:
//   prepare <allowed>|- <disallowed>|-   fresh settings and folder, the lists
//                                        (sites separated by commas)
//   set <key> <value>                    stores one option
//   start                                starts the program, waits for its main window
//   switch <label start> <0|1>           sets a switch of the main window by clicking it
//   press <caption>                      presses a button of the main window
//   prompt [ms]                          waits for the setup-mode prompt; ok <site shown>
//   answer <caption>                     presses a button of the prompt, waits until it is gone
//   screenshot <windows path>            the prompt as a PNG
//   read <file name>                     ok <the file's text as a JSON string>
//   list allowed|disallowed              ok <the main window's list box, a JSON array>
//   exit                                 closes the main window; ok <saved intStopped>
#include <windows.h>
#include <objbase.h>
#include <oleacc.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/program_driver.h"

namespace {

using namespace quellix::testing;

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size() * 2 + 1, L'\0');
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                    static_cast<int>(wide.size()));
  wide.resize(static_cast<std::size_t>(n > 0 ? n : 0));
  return wide;
}

std::string Narrow(const std::wstring& wide) {
  std::string text(wide.size() * 4 + 1, '\0');
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(),
                                    static_cast<int>(text.size()), nullptr, nullptr);
  text.resize(static_cast<std::size_t>(n > 0 ? n : 0));
  return text;
}

std::string JsonString(const std::string& bytes) {
  std::string out = "\"";
  for (unsigned char c : bytes) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x80) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);  // bytes, as Latin-1: the lists are ANSI
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string ListText(const std::string& sites) {
  if (sites == "-") return {};
  std::string text;
  std::stringstream parts(sites);
  for (std::string site; std::getline(parts, site, ',');) text += site + "\r\n";
  return text;
}

class Remote {
 public:
  std::string Run(const std::string& line) {
    std::stringstream words(line);
    std::string command;
    words >> command;
    std::string rest;
    std::getline(words >> std::ws, rest);
    if (command == "prepare") return Prepare(rest);
    if (command == "set") {
      const std::size_t space = rest.find(' ');
      if (space == std::string::npos) return "fail usage";
      return StoreSetting(Wide(rest.substr(0, space)).c_str(), Wide(rest.substr(space + 1)).c_str()) ? "ok" : "fail";
    }
    if (command == "start") return Start();
    if (command == "switch") return Switch(rest);
    if (command == "press") return Press(rest);
    if (command == "prompt") return Prompt(rest.empty() ? 20000 : std::stoul(rest));
    if (command == "answer") return Answer(rest);
    if (command == "screenshot") {
      HWND prompt = program_ ? program_->FindWindowOfClass(L"Quellix.Form3") : nullptr;
      return prompt && SaveWindowScreenshot(prompt, Wide(rest)) ? "ok" : "fail no prompt to take";
    }
    if (command == "read") return "ok " + JsonString(FileBytes(folder_ + L"\\" + Wide(rest)).value_or(""));
    if (command == "list") return ListBoxItems(rest);
    if (command == "exit") return Exit();
    return "fail unknown command " + command;
  }

 private:
  std::string Prepare(const std::string& lists) {
    program_.reset();
    const std::size_t space = lists.find(' ');
    if (space == std::string::npos) return "fail usage";
    ForgetProgramSettings();
    if (!StoreSetting(L"showHelp", L"0") || !StoreSetting(L"chkSound", L"0")) return "fail settings";
    folder_ = PrepareProgramFolder(Wide(QUELLIX_PROGRAM_EXE), L"quellix-browser-e2e");
    if (folder_.empty()) return "fail folder";
    if (!WriteFileBytes(folder_ + L"\\allowed.txt", ListText(lists.substr(0, space))) ||
        !WriteFileBytes(folder_ + L"\\disallowed.txt", ListText(lists.substr(space + 1))))
      return "fail lists";
    return "ok " + Narrow(folder_);
  }

  std::string Start() {
    program_ = std::make_unique<RunningProgram>(folder_ + L"\\QuellixPopUpBlocker.exe");
    if (!program_->Started()) return "fail not started";
    main_ = program_->WaitForWindow(L"Quellix.Form1", 60000);
    return main_ ? "ok" : "fail no main window";
  }

  std::string Switch(const std::string& rest) {
    const std::size_t space = rest.rfind(' ');
    if (!main_ || space == std::string::npos) return "fail usage";
    HWND box = SwitchBox(main_, Wide(rest.substr(0, space)));
    if (!box) return "fail no such switch";
    const LRESULT wanted = rest.substr(space + 1) == "1" ? BST_CHECKED : BST_UNCHECKED;
    DWORD_PTR state = 0;
    SendMessageTimeoutW(box, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &state);
    if (static_cast<LRESULT>(state) != wanted) {
      DWORD_PTR ignored = 0;
      SendMessageTimeoutW(box, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
      SendMessageTimeoutW(box, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &state);
    }
    return static_cast<LRESULT>(state) == wanted ? "ok" : "fail switch did not change";
  }

  std::string Press(const std::string& caption) {
    HWND button = main_ ? FindChildWithText(main_, L"Button", Wide(caption)) : nullptr;
    return button && ClickNow(button) ? "ok" : "fail no such button";
  }

  std::string Prompt(DWORD ms) {
    HWND prompt = program_ ? program_->WaitForWindow(L"Quellix.Form3", ms) : nullptr;
    if (!prompt) return "fail no prompt";
    HWND site = FindChild(prompt, L"Edit", [](const std::wstring&) { return true; });
    return "ok " + Narrow(site ? WindowText(site) : L"");
  }

  std::string Answer(const std::string& caption) {
    HWND prompt = program_ ? program_->FindWindowOfClass(L"Quellix.Form3") : nullptr;
    HWND button = prompt ? FindChildWithText(prompt, L"Button", Wide(caption)) : nullptr;
    if (!button || !PressButton(button)) return "fail no such answer";
    const bool gone = WaitUntil([&] { return program_->FindWindowOfClass(L"Quellix.Form3") == nullptr; }, 10000);
    return gone ? "ok" : "fail prompt stays";
  }

  // The allowed list box is the left one of the two, the disallowed the right.
  // Its entries are read as a screen reader reads them: through the box's
  // accessibility object, from this other process.
  std::string ListBoxItems(const std::string& which) {
    const std::vector<Child> boxes = main_ ? ChildrenOf(main_, L"ListBox") : std::vector<Child>{};
    if (boxes.size() != 2 || (which != "allowed" && which != "disallowed")) return "fail usage";
    const Child& box = which == "allowed" ? boxes[0] : boxes[1];
    const auto entries = AccessibleListEntries(box.window);
    if (!entries) return "fail no accessibility object";
    std::string items = "[";
    for (const std::wstring& entry : *entries) {
      if (items.size() > 1) items += ',';
      items += JsonString(Narrow(entry));
    }
    return "ok " + items + "]";
  }

  std::string Exit() {
    if (!main_) return "fail not running";
    PostMessageW(main_, WM_CLOSE, 0, 0);
    DWORD code = 1;
    if (!program_->WaitForExit(20000, &code)) return "fail still running";
    program_.reset();
    main_ = nullptr;
    return "ok " + Narrow(ProgramSetting(L"intStopped"));
  }

  std::wstring folder_;
  std::unique_ptr<RunningProgram> program_;
  HWND main_ = nullptr;
};

}  // namespace

int main() {
  // Screenshots go through WIC, a COM component.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  Remote remote;
  std::cout << "ready" << std::endl;
  for (std::string line; std::getline(std::cin, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == "quit") break;
    std::cout << remote.Run(line) << std::endl;
  }
  return 0;
}
