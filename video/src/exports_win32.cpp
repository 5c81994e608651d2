// Windows clients also link against every exported function under a second name with a
// leading underscore; the linker directives below add those aliases to the DLL.
#if defined(_WIN32)

#if defined(_MSC_VER)
#define SACCADRIX_GS_EXPORT(name) __pragma(comment(linker, "/EXPORT:_" #name "=" #name))
#else
#define SACCADRIX_GS_EXPORT(name) \
  __asm__(".section .drectve\n\t.ascii \" -export:_" #name "=" #name "\"\n\t.text");
#endif
#include "exported_names.h"
#undef SACCADRIX_GS_EXPORT

#endif  // _WIN32
