// The error record handed to completion handlers.
#pragma once

#include <QString>

struct HdrError {
    QString domain;
    int code = 0;
    QString localizedDescription;
};

inline constexpr const char *kHdrErrorDomain = "HDR_DOMAIN";

// An error of the application's domain whose description is the text of key.
HdrError MakeHdrError(int code, const char *key);
