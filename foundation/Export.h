#ifndef TCORE_FOUNDATION_EXPORT_H
#define TCORE_FOUNDATION_EXPORT_H

// The library is built with -fvisibility=hidden; only what is marked with
// TCORE_EXPORT is part of its interface.
#define TCORE_EXPORT __attribute__((visibility("default")))

#endif
