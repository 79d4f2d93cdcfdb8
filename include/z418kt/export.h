/* Z418KT_EXPORT marks what the shared library offers its callers. The library
 * is built with hidden visibility, so anything without this mark stays
 * internal and cannot be reached, or relied upon, from outside. Usable from C
 * and C++. */
#ifndef Z418KT_EXPORT_H
#define Z418KT_EXPORT_H

#if defined(__GNUC__) || defined(__clang__)
#define Z418KT_EXPORT __attribute__((visibility("default")))
#else
#define Z418KT_EXPORT
#endif

#endif
