/* Compiled as C: the public header must stay valid C. */
#include <stddef.h>

#include "hdr_engine.h"

int CreateAndDestroySessionFromC(void) {
    HdrSession *session = NULL;
    int result = CreateHdrSession(NULL, 0, &session);
    if (result != RESULT_OK) return result;
    result = SetGhostSuppressionLevel(0, session, 6);
    if (result != RESULT_OK) return result;
    return DestroyHdrSession(NULL, session);
}
