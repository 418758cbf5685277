// What std::terminate() does in tarvo: abort, silently.
//
// libstdc++'s own handler prints the exception's demangled type on
// standard error, and tarvo writes nothing there, ever. Defining the
// handler here also keeps the demangler out of the executable: about
// 40 KiB and half its relocations, which every run would load and patch
// at start-up. It exists for the size cap of the armhf executable
// (128 KiB, bench/armhf-size.sh) as much as for the silence.
//
// It relies on two things outside the language: the name libstdc++ gives
// its default handler (__gnu_cxx::__verbose_terminate_handler), and link
// order, so that this definition, in the executable's own objects, is
// taken before the static libstdc++'s. Nothing in tarvo is meant to
// throw; an allocation failure is the one way to get here.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
