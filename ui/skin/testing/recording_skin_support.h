// A skin support object that records what the windows did with it, for
// tests that check when it is made, handed the skin, started and stopped.
#pragma once

#include <memory>

#include "ui/skin/mod_skin.h"
#include "ui/skin/skin_object.h"

namespace quellix::testing {

struct SkinSupportRecord {
  int made = 0;
  const SkinObject* skin = nullptr;
  bool started = false;
};

class RecordingSkinSupport final : public SkinSupport {
 public:
  explicit RecordingSkinSupport(SkinSupportRecord& record) : record_(record) {}
  void SetSkin(const SkinObject* skin) override { record_.skin = skin; }
  bool Start() override {
    record_.started = record_.skin != nullptr;
    return record_.started;
  }
  void Stop() override { record_.started = false; }

 private:
  SkinSupportRecord& record_;
};

// `record` outlives the modSkin that is given this maker.
inline modSkin::SupportMaker RecordingSupportMaker(SkinSupportRecord& record) {
  return [&record] {
    ++record.made;
    return std::make_unique<RecordingSkinSupport>(record);
  };
}

}  // namespace quellix::testing
