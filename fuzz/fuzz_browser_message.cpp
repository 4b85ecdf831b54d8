// The extension's messages as the host and the program read them: a byte
// stream cut into frames wherever the fuzzer likes, each frame parsed; every
// valid message survives its canonical text unchanged, and every answer the
// host would pass on (verdicts, the panel's state and "Always allow"
// answers, pop-up rules) or the program's news reads back as itself, and no
// text is both an answer and news (the host tells them apart that way).
#include <cstdlib>

#include "core/browser_message.h"
#include "core/message_frames.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quellix;
  using namespace quellix::browser_message;
  fuzz::FuzzInput input(data, size);
  const std::size_t piece = 1 + input.Byte() % 16;
  const std::string stream = input.Text();
  const std::string whole = input.Text();

  auto check = [](const std::string& payload) {
    const Message message = Parse(payload);
    if (const auto* invalid = std::get_if<Invalid>(&message)) {
      if (invalid->id && (invalid->id->empty() || invalid->id->size() > kMaxIdLength)) std::abort();
      const VerdictMessage leave{invalid->id, Verdict::kLeave};
      if (ParseVerdict(Serialize(leave)) != leave) std::abort();
      return;
    }
    if (Parse(Serialize(message)) != message) std::abort();
  };

  check(whole);
  MessageFrameReader reader(256);
  for (std::size_t at = 0; at < stream.size(); at += piece) {
    reader.Feed(std::string_view(stream).substr(at, piece), [&](MessageFrameReader::Frame frame) {
      if (frame.too_long && !frame.payload.empty()) std::abort();
      if (frame.payload.size() > 256) std::abort();
      check(frame.payload);
    });
  }
  if (const auto verdict = ParseVerdict(whole); verdict && ParseVerdict(Serialize(*verdict)) != verdict) std::abort();
  const auto answer = ParseAnswer(whole);
  if (answer && ParseAnswer(Serialize(*answer)) != answer) std::abort();
  const auto news = ParseNews(whole);
  if (news && (answer || ParseNews(Serialize(*news)) != news)) std::abort();
  return 0;
}
