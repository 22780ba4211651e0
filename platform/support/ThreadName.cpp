#include "platform/support/ThreadName.h"

#include <pthread.h>

#include <cstring>

void NameCurrentThread(const char* name)
{
    // pthread_setname_np refuses names of 16 bytes and more outright.
    char cut[16] = {};
    std::strncpy(cut, name, sizeof cut - 1);
    pthread_setname_np(pthread_self(), cut);
}
