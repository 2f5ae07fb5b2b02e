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

/* The two-call merge's first call from C: a missing input array is refused. */
int RefuseMergeToIntermediateFromC(void) {
    HdrSession *session = NULL;
    __tag_QELV_OFFSCREEN outputs[3] = {{0}};
    int result = CreateHdrSession(NULL, 0, &session);
    if (result != RESULT_OK) return -1;
    result = MergeToIntermediate(NULL, session, NULL, 0, 3, outputs,
                                 INTERMEDIATE_LAYOUT_PARITY_SPLIT, 0, 0, NULL, NULL);
    DestroyHdrSession(NULL, session);
    return result;
}
