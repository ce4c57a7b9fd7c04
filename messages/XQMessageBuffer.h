#ifndef TCORE_MESSAGES_XQMESSAGEBUFFER_H
#define TCORE_MESSAGES_XQMESSAGEBUFFER_H

#include "foundation/Export.h"

// One received packed message, still packed, and its size in bytes: the unit
// a message queue holds until a reader takes it. The buffer always owns its
// bytes, allocated with malloc() (the allocation ConvertUnicodeToWide hands
// back), and frees them with free() when destroyed. Neither copied nor
// assigned; held by pointer. Used by one thread at a time.
class TCORE_EXPORT XQMessageBuffer {
public:
    // Allocates size bytes, uninitialised; data is null when that fails.
    explicit XQMessageBuffer(unsigned int size);
    // Adopts data, which must come from malloc(); the caller must not free it.
    XQMessageBuffer(unsigned char* data, unsigned int size);
    ~XQMessageBuffer();

    XQMessageBuffer(const XQMessageBuffer&) = delete;
    XQMessageBuffer& operator=(const XQMessageBuffer&) = delete;

    unsigned char* data;
    unsigned int size;
};

#endif
