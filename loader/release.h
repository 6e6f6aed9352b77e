// The host SDK release this module is built for, fixed at compile time by
// KAVRI_SDK_RELEASE (0: 2015, 1: 2020, 2: 11.6).
#pragma once

#include "loader/host/service_names.h"
#include "loader/host/services.h"

#ifndef KAVRI_SDK_RELEASE
#error "KAVRI_SDK_RELEASE names the host SDK release of the module"
#endif

namespace kavri {

constexpr HostRelease kRelease = static_cast<HostRelease>(KAVRI_SDK_RELEASE);
static_assert(kRelease == HostRelease2015 || kRelease == HostRelease2020 || kRelease == HostRelease11_6,
              "unknown release");

// Only release 2020 marks new surfaces with a kind.
constexpr bool kSetsSurfaceKind = kRelease == HostRelease2020;

// The release's own surface service layout.
#if KAVRI_SDK_RELEASE == 1
using SurfaceService = SurfaceService2020;
#else
using SurfaceService = SurfaceService2015;
#endif

// Folder separator of file names: the application's on Windows, the POSIX one elsewhere.
#if defined(_WIN32)
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

}  // namespace kavri
