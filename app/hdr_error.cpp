#include "hdr_error.h"

#include "localized_string.h"

HdrError MakeHdrError(int code, const char *key) {
    return {QString::fromLatin1(kHdrErrorDomain), code, LocalizedString(key)};
}
