// What happens when the C++ runtime has to terminate the program (an
// exception nothing catches, a noexcept function that throws): it ends at
// once, as abort() does. The program shows no error messages, and the
// runtime's default handler would bring its own printf and a demangler of
// type names into the exe (some 150 KB) only to describe the exception on a
// console this program does not have.
#include <cstdlib>

namespace __gnu_cxx {

// Replaces libstdc++'s handler of the same name for this exe: the name is
// the runtime's own, which is the point.
void __verbose_terminate_handler() { std::abort(); }  // NOLINT(bugprone-reserved-identifier)

}  // namespace __gnu_cxx
