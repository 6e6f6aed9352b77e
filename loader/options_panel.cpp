#include "loader/options_panel.h"

#include <cstring>

#include "loader/activation.h"
#include "loader/service_cache.h"

namespace kavri {

namespace {

const char* const kImportTypeItems[] = {"Sphere", "Flat", "DenseMesh", nullptr};

enum Control { SaveDir, ColorFormat, AlphaFormat, MinimumDistance, MaximumDistance, ImportTypeControl, Subdivisions,
               PremultiplyAlpha, ControlCount };

// Module-wide, replaced at every run.
HostPanel gPanel = nullptr;
ControlRecord* gControls[ControlCount] = {};

// One record per value kind, reused for every read and write.
ValueRecord gTextValue = {KAVRI_CONTROL_KIND_TEXT, 0, {nullptr}, 0, 0, {0, 0}};
ValueRecord gIntegerValue = {KAVRI_CONTROL_KIND_INTEGER, 0, {nullptr}, 0, 0, {0, 0}};
ValueRecord gFloatValue = {KAVRI_CONTROL_KIND_FLOAT, 0, {nullptr}, 0, 0, {0, 0}};

// A control the host did not create is left alone rather than called through.
void Write(Control control, ValueRecord& value) {
  if (gControls[control] != nullptr && gControls[control]->WriteControlValue != nullptr)
    gControls[control]->WriteControlValue(gControls[control], KAVRI_CONTROL_VALUE_ATTRIBUTE, &value);
}

void Read(Control control, ValueRecord& value) {
  if (gControls[control] != nullptr && gControls[control]->ReadControlValue != nullptr)
    gControls[control]->ReadControlValue(gControls[control], KAVRI_CONTROL_VALUE_ATTRIBUTE, &value);
}

void WriteInteger(Control control, int32_t value) {
  gIntegerValue.intValue = value;
  Write(control, gIntegerValue);
}

void WriteFloat(Control control, double value) {
  gFloatValue.at8.floatValue = value;
  Write(control, gFloatValue);
}

int32_t ReadInteger(Control control, int32_t current) {
  gIntegerValue.intValue = current;
  Read(control, gIntegerValue);
  return gIntegerValue.intValue;
}

float ReadFloat(Control control, float current) {
  gFloatValue.at8.floatValue = current;
  Read(control, gFloatValue);
  return static_cast<float>(gFloatValue.at8.floatValue);
}

}  // namespace

void PrepareDefaultSettings(const char* fileName, ImportSettings& settings) {
  settings.importType = ImportSphere;
  settings.subdivisions = 12;
  settings.maximumDistance = 10.0f;
  settings.minimumDistance = 4.0f;
  settings.premultiplyAlpha = 1;
  // Without the default saver, the first saver the host offers.
  int32_t saver = 0;
  const int32_t count = gServices.imageUtility->SaverCount();
  for (int32_t index = 0; index < count; ++index) {
    const char* label = gServices.imageUtility->SaverLabel(index);
    if (label != nullptr && std::strcmp(label, kDefaultSaverLabel) == 0) {
      saver = index;
      break;
    }
  }
  settings.colorFormat = saver;
  settings.alphaFormat = saver;
  DefaultSaveDir(fileName, settings.saveDir, sizeof settings.saveDir);
}

int32_t SaverCountCallback(void* userData) {
  (void)userData;
  return gServices.imageUtility->SaverCount();
}

const char* SaverNameCallback(void* userData, int32_t index) {
  (void)userData;
  if (index < 0 || index >= gServices.imageUtility->SaverCount()) return nullptr;
  return gServices.imageUtility->SaverLabel(index);
}

int32_t ShowImportPanel(const psd::DocumentInfo* document, ObjectImportRecord* record, ImportSettings& settings) {
  (void)document;
  (void)record;
  PanelServices* panel = gServices.panelServices;
  gPanel = panel->MakePanel("kavri psd import as layer", nullptr);

  // One description reused for every control: only the current kind's fields are set.
  static ControlDescription description;
  description.kind = KAVRI_CONTROL_KIND_TEXT;
  description.width = 40;
  gControls[SaveDir] = panel->AddControl(gPanel, "DirControl", &description, "Save Dir");
  description.kind = KAVRI_CONTROL_KIND_CUSTOM_POPUP;
  description.width = 250;
  description.at8.count = SaverCountCallback;
  description.at16.name = SaverNameCallback;
  gControls[ColorFormat] = panel->AddControl(gPanel, "CustomPopupControl", &description, "Color Format");
  gControls[AlphaFormat] = panel->AddControl(gPanel, "CustomPopupControl", &description, "Alpha Format");
  description.kind = KAVRI_CONTROL_KIND_FLOAT;
  gControls[MinimumDistance] = panel->AddControl(gPanel, "FloatControl", &description, "Minimum Distance");
  gControls[MaximumDistance] = panel->AddControl(gPanel, "FloatControl", &description, "Maximum Distance");
  description.kind = KAVRI_CONTROL_KIND_POPUP;
  description.at8.items = kImportTypeItems;
  description.at16.popupWidth = 100;
  gControls[ImportTypeControl] = panel->AddControl(gPanel, "PopupControl", &description, "Import Type");
  description.kind = KAVRI_CONTROL_KIND_INTEGER;
  gControls[Subdivisions] = panel->AddControl(gPanel, "NumControl", &description, "Subdivisions");
  description.kind = KAVRI_CONTROL_KIND_BOOL;
  gControls[PremultiplyAlpha] = panel->AddControl(gPanel, "BoolButtonControl", &description, "Premultiply Alpha");

  gTextValue.at8.text = settings.saveDir;
  gTextValue.textLength = static_cast<int32_t>(std::strlen(settings.saveDir));
  Write(SaveDir, gTextValue);
  WriteInteger(ColorFormat, settings.colorFormat);
  WriteInteger(AlphaFormat, settings.alphaFormat);
  WriteFloat(MinimumDistance, settings.minimumDistance);
  WriteFloat(MaximumDistance, settings.maximumDistance);
  WriteInteger(ImportTypeControl, settings.importType);
  WriteInteger(Subdivisions, settings.subdivisions);
  WriteInteger(PremultiplyAlpha, settings.premultiplyAlpha);

  const int32_t confirmed = panel->RunPanel(gPanel, KAVRI_PANEL_RUN_FLAGS);
  if (confirmed != 0) {
    gTextValue.at8.text = settings.saveDir;
    gTextValue.textLength = kSaveDirCapacity;
    Read(SaveDir, gTextValue);
    settings.saveDir[kSaveDirCapacity - 1] = '\0';  // whatever the host wrote, the text ends in the buffer
    settings.importType = ReadInteger(ImportTypeControl, settings.importType);
    settings.subdivisions = ReadInteger(Subdivisions, settings.subdivisions);
    settings.premultiplyAlpha = ReadInteger(PremultiplyAlpha, settings.premultiplyAlpha);
    if (settings.subdivisions < 1) settings.subdivisions = 1;
    settings.colorFormat = ReadInteger(ColorFormat, settings.colorFormat);
    settings.alphaFormat = ReadInteger(AlphaFormat, settings.alphaFormat);
    settings.minimumDistance = ReadFloat(MinimumDistance, settings.minimumDistance);
    settings.maximumDistance = ReadFloat(MaximumDistance, settings.maximumDistance);
  }
  // Nothing uses the panel after this run.
  if (panel->DestroyPanel != nullptr) panel->DestroyPanel(gPanel);
  gPanel = nullptr;
  for (ControlRecord*& control : gControls) control = nullptr;
  return confirmed != 0 ? 1 : 0;
}

}  // namespace kavri
