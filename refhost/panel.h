// Panel services without a window: controls are recorded as the plug-in
// describes them, and RunPanel applies the user's answers from the settings.
#pragma once

#include <string>

#include "loader/host/services.h"
#include "refhost/scene.h"

namespace refhost {

void InstallPanelServices(PanelServices& panel);

// The control type string that goes with a control kind, or null.
const char* ControlTypeOfKind(int32_t kind);

// A control's value in words, as shown in reports: text, a number, on/off or a popup item.
std::string DescribeControlValue(const PanelControl& control, const ControlValue& value);

}  // namespace refhost
