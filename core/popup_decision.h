// The popup decision: what happens to one NewWindow2 request.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "core/popup_host.h"
#include "core/program_state.h"

namespace quellix {

enum class NewWindowVerdict {
  kUntouched,   // Cancel keeps the browser's value: the window opens
  kLetThrough,  // Cancel = false
  kBlock,       // Cancel = true
};

// Reads LocationURL of the asking window when the decision gets to it;
// nothing when it cannot be read. The text stays valid until the decision ends.
class LocationSource {
 public:
  virtual std::optional<std::string_view> Read() = 0;

 protected:
  ~LocationSource() = default;
};

// Runs the decision in its fixed order: the organisation's blocked and
// allowed sites, link detection, the site of the asking page, the blocking
// switch, the allow-next flag, the lists (and in setup mode the prompt). A failure ends the decision with kUntouched,
// keeping what was already done. An address of up to
// SiteOfAddressBuffer::kFixedSize bytes is decided without heap allocation.
NewWindowVerdict DecideNewWindow(ProgramState& state, PopupHost& host, LocationSource& location);

// The same for a browser tab: its new window exists already and is closed by
// the answer, so a block is answered through `answer_block` the moment it is
// counted; messages are processed after that, and the sound is started
// without waiting for it, so neither keeps the window on screen nor holds up
// the next block. The result is still kBlock.
NewWindowVerdict DecideNewTab(ProgramState& state, PopupHost& host, LocationSource& location,
                              const std::function<void()>& answer_block);

// Keeps what a callable returns for the address (an optional string, or an
// optional view of text that outlives the decision) until the decision ends.
template <typename ReadLocation>
  requires std::is_invocable_v<ReadLocation&>
class CallableLocation final : public LocationSource {
 public:
  explicit CallableLocation(ReadLocation& read) : read_(read) {}
  std::optional<std::string_view> Read() override {
    kept_.emplace(read_());
    if (!*kept_) return std::nullopt;
    return std::string_view(**kept_);
  }

 private:
  ReadLocation& read_;
  std::optional<std::invoke_result_t<ReadLocation&>> kept_;
};

template <typename ReadLocation>
  requires std::is_invocable_v<ReadLocation&>
NewWindowVerdict DecideNewWindow(ProgramState& state, PopupHost& host, ReadLocation&& read_location) {
  CallableLocation<std::remove_reference_t<ReadLocation>> location(read_location);
  return DecideNewWindow(state, host, static_cast<LocationSource&>(location));
}

template <typename ReadLocation>
  requires std::is_invocable_v<ReadLocation&>
NewWindowVerdict DecideNewTab(ProgramState& state, PopupHost& host, ReadLocation&& read_location,
                              const std::function<void()>& answer_block) {
  CallableLocation<std::remove_reference_t<ReadLocation>> location(read_location);
  return DecideNewTab(state, host, static_cast<LocationSource&>(location), answer_block);
}

// Applies a verdict to the browser's Cancel flag.
inline void ApplyVerdict(NewWindowVerdict verdict, bool& cancel) {
  if (verdict == NewWindowVerdict::kLetThrough) cancel = false;
  if (verdict == NewWindowVerdict::kBlock) cancel = true;
}

}  // namespace quellix
