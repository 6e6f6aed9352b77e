#include "refhost/panel.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "refhost/guard.h"

namespace refhost {

namespace {

// Popup lists longer than this are taken as a fault of the plug-in.
constexpr int32_t kMaxPopupItems = 4096;

Panel* FindPanel(Scene& scene, HostPanel panel, const char* operation) {
  size_t index;
  if (!IdIndex(panel, IdKind::Panel, scene.panels.size(), index) || scene.panels[index]->destroyed) {
    scene.Problem(std::string(operation) + ": unknown panel");
    return nullptr;
  }
  return scene.panels[index].get();
}

PanelControl* FindControl(Scene& scene, ControlRecord* record, const char* operation) {
  for (const auto& panel : scene.panels) {
    for (const auto& control : panel->controls) {
      if (&control->record == record) {
        if (panel->destroyed) break;
        return control.get();
      }
    }
  }
  scene.Problem(std::string(operation) + ": unknown control");
  return nullptr;
}

bool IsTextKind(int32_t kind) { return kind == KAVRI_CONTROL_KIND_TEXT; }
bool IsFloatKind(int32_t kind) { return kind == KAVRI_CONTROL_KIND_FLOAT; }

ControlValue InitialValue(int32_t kind) {
  ControlValue value;
  value.kind = IsTextKind(kind) ? ControlValue::Text : IsFloatKind(kind) ? ControlValue::Float : ControlValue::Integer;
  return value;
}

// A written value kept in the control's own kind.
ControlValue Convert(const ControlValue& given, ControlValue::Kind kind) {
  ControlValue value;
  value.kind = kind;
  switch (kind) {
    case ControlValue::Text:
      value.text = given.kind == ControlValue::Text      ? given.text
                   : given.kind == ControlValue::Integer ? std::to_string(given.integer)
                                                         : std::to_string(given.number);
      break;
    case ControlValue::Integer:
      if (given.kind == ControlValue::Integer) value.integer = given.integer;
      else if (given.kind == ControlValue::Float && std::isfinite(given.number))
        value.integer = static_cast<int32_t>(std::clamp(given.number, -2147483648.0, 2147483647.0));
      else if (given.kind == ControlValue::Text)
        value.integer = static_cast<int32_t>(std::strtol(given.text.c_str(), nullptr, 10));
      break;
    case ControlValue::Float:
      value.number = given.kind == ControlValue::Float     ? given.number
                     : given.kind == ControlValue::Integer ? given.integer
                                                           : std::strtod(given.text.c_str(), nullptr);
      break;
    case ControlValue::None: break;
  }
  return value;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool ParseInteger(const std::string& text, int32_t& result) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < INT32_MIN || value > INT32_MAX) return false;
  result = static_cast<int32_t>(value);
  return true;
}

bool ParseNumber(const std::string& text, double& result) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !std::isfinite(value)) return false;
  result = value;
  return true;
}

// The value an answer gives a control; false with the reason when it fits none.
bool ParseAnswer(const PanelControl& control, const std::string& answer, ControlValue& value, std::string& why) {
  value = InitialValue(control.kind);
  switch (control.kind) {
    case KAVRI_CONTROL_KIND_TEXT: value.text = answer; return true;
    case KAVRI_CONTROL_KIND_FLOAT:
      if (ParseNumber(answer, value.number)) return true;
      why = "not a number";
      return false;
    case KAVRI_CONTROL_KIND_BOOL: {
      const std::string word = Lower(answer);
      if (word == "on" || word == "yes" || word == "true" || word == "1") value.integer = 1;
      else if (word == "off" || word == "no" || word == "false" || word == "0") value.integer = 0;
      else {
        why = "not on or off";
        return false;
      }
      return true;
    }
    case KAVRI_CONTROL_KIND_POPUP:
    case KAVRI_CONTROL_KIND_CUSTOM_POPUP: {
      for (size_t i = 0; i < control.items.size(); ++i)
        if (control.items[i] == answer) return value.integer = static_cast<int32_t>(i), true;
      for (size_t i = 0; i < control.items.size(); ++i)
        if (Lower(control.items[i]) == Lower(answer)) return value.integer = static_cast<int32_t>(i), true;
      int32_t index;
      if (ParseInteger(answer, index) && index >= 0 && static_cast<size_t>(index) < control.items.size()) {
        value.integer = index;
        return true;
      }
      why = "no such item (there are " + std::to_string(control.items.size()) + ")";
      return false;
    }
    default:
      if (ParseInteger(answer, value.integer)) return true;
      why = "not a whole number";
      return false;
  }
}

HostPanel MakePanel(const char* title, void* reserved) {
  (void)reserved;
  return Guarded("MakePanel", HostPanel{}, [&]() -> HostPanel {
    Scene* scene = ActiveScene();
    if (scene == nullptr) return nullptr;
    auto panel = std::make_unique<Panel>();
    panel->title = title != nullptr ? title : "";
    scene->panels.push_back(std::move(panel));
    return MakeId(IdKind::Panel, scene->panels.size() - 1);
  });
}

void WriteControlValue(ControlRecord* record, int32_t attribute, ValueRecord* value);
void ReadControlValue(ControlRecord* record, int32_t attribute, ValueRecord* value);

ControlRecord* AddControl(HostPanel panelId, const char* typeName, ControlDescription* description,
                          const char* label) {
  return Guarded("AddControl", static_cast<ControlRecord*>(nullptr), [&]() -> ControlRecord* {
    Scene* scene = ActiveScene();
    if (scene == nullptr) return nullptr;
    Panel* panel = FindPanel(*scene, panelId, "AddControl");
    if (panel == nullptr) return nullptr;
    if (description == nullptr) {
      scene->Problem("AddControl: no control description");
      return nullptr;
    }
    auto control = std::make_unique<PanelControl>();
    control->panel = static_cast<size_t>(
        std::find_if(scene->panels.begin(), scene->panels.end(), [&](const auto& p) { return p.get() == panel; }) -
        scene->panels.begin());
    control->typeName = typeName != nullptr ? typeName : "";
    control->label = label != nullptr ? label : "";
    control->kind = description->kind;
    const char* expectedType = ControlTypeOfKind(control->kind);
    if (expectedType == nullptr || control->typeName != expectedType)
      scene->Problem("AddControl \"" + control->label + "\": type \"" + control->typeName + "\" with kind " +
                     std::to_string(control->kind));
    switch (control->kind) {
      case KAVRI_CONTROL_KIND_TEXT: control->width = description->width; break;
      case KAVRI_CONTROL_KIND_CUSTOM_POPUP: {
        control->width = description->width;
        const PopupCountFunc count = description->at8.count;
        const PopupNameFunc name = description->at16.name;
        control->hasCountCallback = count != nullptr;
        control->hasNameCallback = name != nullptr;
        if (count == nullptr || name == nullptr) break;
        const int32_t items = std::min(count(nullptr), kMaxPopupItems);
        for (int32_t i = 0; i < items; ++i) {
          const char* item = name(nullptr, i);
          if (item == nullptr) break;
          control->items.emplace_back(item);
        }
        break;
      }
      case KAVRI_CONTROL_KIND_POPUP: {
        const char* const* items = description->at8.items;
        for (int32_t i = 0; items != nullptr && items[i] != nullptr && i < kMaxPopupItems; ++i)
          control->items.emplace_back(items[i]);
        control->popupWidth = description->at16.popupWidth;
        break;
      }
      default: break;
    }
    control->value = InitialValue(control->kind);
    control->shown = control->value;
    control->record.WriteControlValue = WriteControlValue;
    control->record.ReadControlValue = ReadControlValue;
    control->record.hostData = control.get();
    panel->controls.push_back(std::move(control));
    return &panel->controls.back()->record;
  });
}

void WriteControlValue(ControlRecord* record, int32_t attribute, ValueRecord* value) {
  GuardedVoid("WriteControlValue", [&] {
    Scene* scene = ActiveScene();
    if (scene == nullptr) return;
    PanelControl* control = FindControl(*scene, record, "WriteControlValue");
    if (control == nullptr || value == nullptr) return;
    if (attribute != KAVRI_CONTROL_VALUE_ATTRIBUTE) {
      scene->Problem("WriteControlValue \"" + control->label + "\": attribute " + std::to_string(attribute));
      return;
    }
    ControlValue given;
    switch (value->kind) {
      case KAVRI_CONTROL_KIND_TEXT:
        given.kind = ControlValue::Text;
        if (value->at8.text != nullptr)
          given.text.assign(value->at8.text,
                            value->textLength >= 0 ? strnlen(value->at8.text, static_cast<size_t>(value->textLength))
                                                   : std::strlen(value->at8.text));
        break;
      case KAVRI_CONTROL_KIND_INTEGER:
        given.kind = ControlValue::Integer;
        given.integer = value->intValue;
        break;
      case KAVRI_CONTROL_KIND_FLOAT:
        given.kind = ControlValue::Float;
        given.number = value->at8.floatValue;
        break;
      default:
        scene->Problem("WriteControlValue \"" + control->label + "\": value kind " + std::to_string(value->kind));
        return;
    }
    control->value = Convert(given, control->value.kind);
    if (scene->panels[control->panel]->runs == 0) control->shown = control->value;
    ++control->writes;
  });
}

void ReadControlValue(ControlRecord* record, int32_t attribute, ValueRecord* value) {
  GuardedVoid("ReadControlValue", [&] {
    Scene* scene = ActiveScene();
    if (scene == nullptr) return;
    PanelControl* control = FindControl(*scene, record, "ReadControlValue");
    if (control == nullptr || value == nullptr) return;
    if (attribute != KAVRI_CONTROL_VALUE_ATTRIBUTE) {
      scene->Problem("ReadControlValue \"" + control->label + "\": attribute " + std::to_string(attribute));
      return;
    }
    ++control->reads;
    switch (value->kind) {
      case KAVRI_CONTROL_KIND_TEXT: {
        const std::string text = Convert(control->value, ControlValue::Text).text;
        if (value->at8.text == nullptr || value->textLength <= 0) return;
        const size_t length = std::min(text.size(), static_cast<size_t>(value->textLength) - 1);
        std::memcpy(value->at8.text, text.data(), length);
        value->at8.text[length] = '\0';
        if (length < text.size())
          scene->Problem("ReadControlValue \"" + control->label + "\": text cut to " + std::to_string(length) +
                         " bytes");
        break;
      }
      case KAVRI_CONTROL_KIND_INTEGER: value->intValue = Convert(control->value, ControlValue::Integer).integer; break;
      case KAVRI_CONTROL_KIND_FLOAT: value->at8.floatValue = Convert(control->value, ControlValue::Float).number; break;
      default:
        scene->Problem("ReadControlValue \"" + control->label + "\": value kind " + std::to_string(value->kind));
        break;
    }
  });
}

int32_t RunPanel(HostPanel panelId, int32_t flags) {
  (void)flags;
  return Guarded("RunPanel", int32_t{0}, [&]() -> int32_t {
    Scene* scene = ActiveScene();
    if (scene == nullptr) return 0;
    Panel* panel = FindPanel(*scene, panelId, "RunPanel");
    if (panel == nullptr) return 0;
    ++panel->runs;
    const PanelAnswers& answers = scene->settings.panel;
    for (const auto& entry : answers.values) {
      // Named references, not a structured binding: clang will not capture one in a lambda.
      const std::string& label = entry.first;
      const std::string& answer = entry.second;
      auto control = std::find_if(panel->controls.begin(), panel->controls.end(),
                                  [&](const auto& c) { return c->label == label; });
      if (control == panel->controls.end()) {
        scene->panelNotes.push_back("the panel has no control \"" + label + "\"");
        continue;
      }
      ControlValue value;
      std::string why;
      if (!ParseAnswer(**control, answer, value, why)) {
        scene->panelNotes.push_back("\"" + answer + "\" for \"" + label + "\": " + why);
        continue;
      }
      (*control)->value = value;
      (*control)->answered = true;
    }
    panel->result = answers.cancel ? 0 : 1;
    return panel->result;
  });
}

void DestroyPanel(HostPanel panelId) {
  GuardedVoid("DestroyPanel", [&] {
    Scene* scene = ActiveScene();
    if (scene == nullptr || panelId == nullptr) return;
    if (Panel* panel = FindPanel(*scene, panelId, "DestroyPanel")) panel->destroyed = true;
  });
}

}  // namespace

const char* ControlTypeOfKind(int32_t kind) {
  switch (kind) {
    case KAVRI_CONTROL_KIND_TEXT: return "DirControl";
    case KAVRI_CONTROL_KIND_INTEGER: return "NumControl";
    case KAVRI_CONTROL_KIND_FLOAT: return "FloatControl";
    case KAVRI_CONTROL_KIND_BOOL: return "BoolButtonControl";
    case KAVRI_CONTROL_KIND_POPUP: return "PopupControl";
    case KAVRI_CONTROL_KIND_CUSTOM_POPUP: return "CustomPopupControl";
    default: return nullptr;
  }
}

std::string DescribeControlValue(const PanelControl& control, const ControlValue& value) {
  switch (value.kind) {
    case ControlValue::Text: return "\"" + value.text + "\"";
    case ControlValue::Float: return std::to_string(value.number);
    case ControlValue::Integer:
      if (control.kind == KAVRI_CONTROL_KIND_BOOL) return value.integer != 0 ? "on" : "off";
      if ((control.kind == KAVRI_CONTROL_KIND_POPUP || control.kind == KAVRI_CONTROL_KIND_CUSTOM_POPUP) &&
          value.integer >= 0 && static_cast<size_t>(value.integer) < control.items.size())
        return std::to_string(value.integer) + " (" + control.items[static_cast<size_t>(value.integer)] + ")";
      return std::to_string(value.integer);
    case ControlValue::None: break;
  }
  return "";
}

void InstallPanelServices(PanelServices& panel) {
  panel = {nullptr, MakePanel, AddControl, RunPanel, DestroyPanel};
}

}  // namespace refhost
