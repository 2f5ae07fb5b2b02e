#include "ProcessInfoBackports.h"

#include <QOperatingSystemVersion>
#include <tuple>

bool IsVersionAtLeast(const OperatingSystemVersion &running,
                      const OperatingSystemVersion &wanted) {
    return std::tie(running.majorVersion, running.minorVersion, running.patchVersion) >=
           std::tie(wanted.majorVersion, wanted.minorVersion, wanted.patchVersion);
}

OperatingSystemVersion ProcessInfo::operatingSystemVersion() {
    const QOperatingSystemVersion current = QOperatingSystemVersion::current();
    // Segments the system does not report come back as -1.
    auto part = [](int v) { return static_cast<int64_t>(v < 0 ? 0 : v); };
    return {part(current.majorVersion()), part(current.minorVersion()),
            part(current.microVersion())};
}

bool ProcessInfo::isOperatingSystemAtLeastVersion(const OperatingSystemVersion &wanted) {
    return IsVersionAtLeast(operatingSystemVersion(), wanted);
}
