// The host's <unistd.h> and the one BSD call the Mac's declares beside it that
// glibc lacks, with the signature of the getpeereid(3) manual page.
#pragma once

#include_next <unistd.h>

#ifdef __cplusplus
extern "C" {
#endif
int getpeereid(int socket, uid_t* euid, gid_t* egid);
#ifdef __cplusplus
}
#endif
