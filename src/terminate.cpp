// What std::terminate() does in tarvo: abort, silently.
//
// libstdc++'s own handler prints the exception's demangled type on
// standard error, and tarvo writes nothing there, ever. Defining the
// handler here also keeps the demangler out of the executable: about
// 40 KiB and half its relocations, which every run would load and patch
// at start-up. Nothing in tarvo is meant to throw; an allocation failure
// is the one way to get here.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
