// The running operating system's version and the comparison against a wanted version.
#pragma once

#include <cstdint>

struct OperatingSystemVersion {
    int64_t majorVersion = 0;
    int64_t minorVersion = 0;
    int64_t patchVersion = 0;
};

// Whether running is at least wanted: major first, then minor, then patch.
bool IsVersionAtLeast(const OperatingSystemVersion &running, const OperatingSystemVersion &wanted);

class ProcessInfo {
public:
    // The running system's version; 0.0.0 when the system does not tell it.
    static OperatingSystemVersion operatingSystemVersion();
    static bool isOperatingSystemAtLeastVersion(const OperatingSystemVersion &wanted);
};
