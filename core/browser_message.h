// The messages between the browser extension and the program, as the native
// messaging host relays them: JSON objects, each in a frame of its own (see
// message_frames.h). Every message is checked here before anything uses it;
// one that is not JSON or has the wrong shape is Invalid, and the answer to
// it leaves the window alone.
//
// From the extension (one per event):
//   {"type":"newWindow","id":"<request id>","tab":<opener tab id>,"url":"<opener's address>"}
//       a page in tab <tab> has opened a new tab or window; answered by one verdict
//   {"type":"status","tab":<tab id>,"text":"<link under the pointer, or empty>"}
//   {"type":"tabClosed","tab":<tab id>}
// To the extension:
//   {"type":"verdict","id":"<request id>","verdict":"block"|"leave"}
//       "block": close the new tab; "leave": let it be. The id is null when
//       the message answered had none that could be read.
// Request ids are chosen by the extension (1 to 64 characters), unique to one
// request; a request asked again with the same id (after the extension's
// worker restarted) is answered once, not decided twice.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace quellix::browser_message {

struct NewWindowRequest {
  std::string id;
  std::int64_t tab = 0;
  std::string url;
  bool operator==(const NewWindowRequest&) const = default;
};

struct StatusText {
  std::int64_t tab = 0;
  std::string text;
  bool operator==(const StatusText&) const = default;
};

struct TabClosed {
  std::int64_t tab = 0;
  bool operator==(const TabClosed&) const = default;
};

// A message that cannot be used; `id` is the request id when one could be read.
struct Invalid {
  std::optional<std::string> id;
  std::string reason;
  bool operator==(const Invalid&) const = default;
};

using Message = std::variant<Invalid, NewWindowRequest, StatusText, TabClosed>;

enum class Verdict { kBlock, kLeave };

struct VerdictMessage {
  std::optional<std::string> id;
  Verdict verdict = Verdict::kLeave;
  bool operator==(const VerdictMessage&) const = default;
};

inline constexpr std::size_t kMaxIdLength = 64;
// Nested arrays or objects deeper than this are refused, not followed.
inline constexpr int kMaxDepth = 32;

// A message from the extension.
Message Parse(std::string_view json);
// The canonical text of a valid message; Parse(Serialize(m)) == m.
std::string Serialize(const NewWindowRequest& request);
std::string Serialize(const StatusText& status);
std::string Serialize(const TabClosed& closed);
std::string Serialize(const Message& message);  // Invalid gives an empty text

// A verdict to the extension, and reading one back (the host checks what the
// program sends before passing it on).
std::string Serialize(const VerdictMessage& verdict);
std::optional<VerdictMessage> ParseVerdict(std::string_view json);

}  // namespace quellix::browser_message
