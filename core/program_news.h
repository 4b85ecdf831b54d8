// Word of what changed in the program, for those told without asking (the
// browsers' extension follows the switches, the allow-next flag and the lists
// to keep the browsers' own pop-up settings in step). It carries no values:
// the listener reads them as they stand.
#pragma once

namespace quellix {

class ProgramNews {
 public:
  virtual void SwitchesChanged() = 0;   // blocking, setup mode or Exceptions
  virtual void AllowNextChanged() = 0;  // set, cleared or used
  virtual void ListsChanged() = 0;      // an entry added or deleted, a list loaded

 protected:
  ~ProgramNews() = default;
};

}  // namespace quellix
