// Viewport 0 as a service: its kind, rectangle, eye and the projection both ways.
#pragma once

#include "loader/host/services.h"

namespace refhost {

void InstallViewportService(ViewportService& viewport);

}  // namespace refhost
