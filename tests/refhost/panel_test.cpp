#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "refhost/panel.h"
#include "tests/refhost/host_services.h"

namespace {

// The description and value records filled byte by byte at their stated
// offsets, the way the plug-in's compiler lays them out.
struct RawDescription {
  alignas(8) unsigned char bytes[24];
  void Clear() { std::memset(bytes, 0xCD, sizeof bytes); }
  void Int(size_t offset, int32_t value) { std::memcpy(bytes + offset, &value, 4); }
  void Pointer(size_t offset, const void* value) { std::memcpy(bytes + offset, &value, 8); }
  ControlDescription* Get() { return reinterpret_cast<ControlDescription*>(bytes); }
};

struct RawValue {
  alignas(8) unsigned char bytes[40] = {};
  static RawValue Text(char* buffer, int32_t length) {
    RawValue v;
    v.Int(0, 1);
    std::memcpy(v.bytes + 8, &buffer, 8);
    v.Int(16, length);
    return v;
  }
  static RawValue Integer(int32_t value) {
    RawValue v;
    v.Int(0, 2);
    v.Int(4, value);
    return v;
  }
  static RawValue Float(double value) {
    RawValue v;
    v.Int(0, 3);
    std::memcpy(v.bytes + 8, &value, 8);
    return v;
  }
  void Int(size_t offset, int32_t value) { std::memcpy(bytes + offset, &value, 4); }
  int32_t IntAt(size_t offset) const {
    int32_t value;
    std::memcpy(&value, bytes + offset, 4);
    return value;
  }
  double DoubleAt(size_t offset) const {
    double value;
    std::memcpy(&value, bytes + offset, 8);
    return value;
  }
  ValueRecord* Get() { return reinterpret_cast<ValueRecord*>(bytes); }
};

const char* const kSaverNames[] = {"Alpha(.a)", "Beta(.b)", "Gamma(.c)"};
int gCountCalls = 0;
std::vector<int32_t> gNameRequests;
int32_t CountSavers(void*) { return ++gCountCalls, 3; }
const char* NameSaver(void*, int32_t index) {
  gNameRequests.push_back(index);
  return index >= 0 && index < 3 ? kSaverNames[index] : nullptr;
}
const char* const kTypes[] = {"Sphere", "Flat", "DenseMesh", nullptr};

struct ImportPanel {
  ControlRecord* saveDir;
  ControlRecord* colorFormat;
  ControlRecord* minimum;
  ControlRecord* type;
  ControlRecord* subdivisions;
  ControlRecord* premultiply;
  int32_t result;
};

// The plug-in's side: one description reused for every control, so fields of
// earlier controls linger where the current kind does not set them.
ImportPanel ShowPanel(const PanelServices& panel, char* saveDir) {
  ImportPanel shown{};
  HostPanel handle = panel.MakePanel("kavri psd import as layer", nullptr);
  RawDescription d;
  d.Clear();
  d.Int(0, 1);
  d.Int(4, 40);
  shown.saveDir = panel.AddControl(handle, "DirControl", d.Get(), "Save Dir");
  d.Int(0, 18);
  d.Int(4, 250);
  d.Pointer(8, reinterpret_cast<const void*>(&CountSavers));
  d.Pointer(16, reinterpret_cast<const void*>(&NameSaver));
  shown.colorFormat = panel.AddControl(handle, "CustomPopupControl", d.Get(), "Color Format");
  d.Int(0, 3);
  shown.minimum = panel.AddControl(handle, "FloatControl", d.Get(), "Minimum Distance");
  d.Int(0, 9);
  d.Pointer(8, kTypes);
  d.Int(16, 100);
  shown.type = panel.AddControl(handle, "PopupControl", d.Get(), "Import Type");
  d.Int(0, 2);
  shown.subdivisions = panel.AddControl(handle, "NumControl", d.Get(), "Subdivisions");
  d.Int(0, 8);
  shown.premultiply = panel.AddControl(handle, "BoolButtonControl", d.Get(), "Premultiply Alpha");

  RawValue text = RawValue::Text(saveDir, static_cast<int32_t>(std::strlen(saveDir)));
  shown.saveDir->WriteControlValue(shown.saveDir, 4, text.Get());
  RawValue format = RawValue::Integer(1);
  shown.colorFormat->WriteControlValue(shown.colorFormat, 4, format.Get());
  RawValue minimum = RawValue::Float(4.0);
  shown.minimum->WriteControlValue(shown.minimum, 4, minimum.Get());
  RawValue type = RawValue::Integer(0);
  shown.type->WriteControlValue(shown.type, 4, type.Get());
  RawValue subdivisions = RawValue::Integer(12);
  shown.subdivisions->WriteControlValue(shown.subdivisions, 4, subdivisions.Get());
  RawValue premultiply = RawValue::Integer(1);
  shown.premultiply->WriteControlValue(shown.premultiply, 4, premultiply.Get());
  shown.result = panel.RunPanel(handle, 3);
  return shown;
}

TEST(Panel, ReadsTheDescriptionsAtTheirOffsetsAndListsThePopups) {
  refhost::ReferenceHost host(refhost::HostSettings{});
  kavri_test::HostServices services(host);
  gCountCalls = 0;
  gNameRequests.clear();
  char saveDir[300] = "C:\\art\\";
  const ImportPanel shown = ShowPanel(*services.panel, saveDir);
  EXPECT_EQ(shown.result, 1);

  ASSERT_EQ(host.scene().panels.size(), 1u);
  const refhost::Panel& panel = *host.scene().panels[0];
  EXPECT_EQ(panel.title, "kavri psd import as layer");
  ASSERT_EQ(panel.controls.size(), 6u);
  const refhost::PanelControl& dir = *panel.controls[0];
  EXPECT_EQ(dir.typeName, "DirControl");
  EXPECT_EQ(dir.label, "Save Dir");
  EXPECT_EQ(dir.kind, 1);
  EXPECT_EQ(dir.width, 40);
  const refhost::PanelControl& format = *panel.controls[1];
  EXPECT_EQ(format.kind, 18);
  EXPECT_EQ(format.width, 250);
  EXPECT_EQ(format.items, (std::vector<std::string>{"Alpha(.a)", "Beta(.b)", "Gamma(.c)"}));
  EXPECT_EQ(gCountCalls, 1);
  EXPECT_EQ(gNameRequests, (std::vector<int32_t>{0, 1, 2}));  // never past the count
  const refhost::PanelControl& type = *panel.controls[3];
  EXPECT_EQ(type.kind, 9);
  EXPECT_EQ(type.popupWidth, 100);
  EXPECT_EQ(type.items, (std::vector<std::string>{"Sphere", "Flat", "DenseMesh"}));
  EXPECT_EQ(panel.controls[2]->kind, 3);
  EXPECT_EQ(panel.controls[4]->kind, 2);
  EXPECT_EQ(panel.controls[5]->kind, 8);

  // The values shown, as the plug-in wrote them, and read back unchanged without answers.
  EXPECT_EQ(dir.shown.text, "C:\\art\\");
  EXPECT_EQ(format.shown.integer, 1);
  EXPECT_EQ(panel.controls[2]->shown.number, 4.0);
  EXPECT_EQ(panel.controls[4]->shown.integer, 12);
  EXPECT_EQ(refhost::DescribeControlValue(format, format.shown), "1 (Beta(.b))");
  EXPECT_EQ(refhost::DescribeControlValue(*panel.controls[5], panel.controls[5]->shown), "on");
  RawValue number = RawValue::Integer(-1);
  shown.subdivisions->ReadControlValue(shown.subdivisions, 4, number.Get());
  EXPECT_EQ(number.IntAt(4), 12);
  RawValue real = RawValue::Float(0.0);
  shown.minimum->ReadControlValue(shown.minimum, 4, real.Get());
  EXPECT_EQ(real.DoubleAt(8), 4.0);
  EXPECT_TRUE(host.scene().problems.empty()) << host.scene().problems.front();
}

TEST(Panel, AppliesTheAnswersByLabelAndKeepsTheRest) {
  refhost::HostSettings settings;
  settings.panel.values = {{"Save Dir", "D:\\out\\"},    {"Color Format", "gamma(.c)"}, {"Import Type", "2"},
                           {"Minimum Distance", "-2.5"}, {"Premultiply Alpha", "off"}, {"Nothing Here", "x"}};
  refhost::ReferenceHost host(settings);
  kavri_test::HostServices services(host);
  char saveDir[300] = "C:\\art\\";
  const ImportPanel shown = ShowPanel(*services.panel, saveDir);
  EXPECT_EQ(shown.result, 1);

  char read[300];
  std::memset(read, 'x', sizeof read);
  RawValue text = RawValue::Text(read, 300);
  shown.saveDir->ReadControlValue(shown.saveDir, 4, text.Get());
  EXPECT_STREQ(read, "D:\\out\\");
  auto readInt = [](ControlRecord* control) {
    RawValue value = RawValue::Integer(-7);
    control->ReadControlValue(control, 4, value.Get());
    return value.IntAt(4);
  };
  EXPECT_EQ(readInt(shown.colorFormat), 2);   // by label, whatever the case
  EXPECT_EQ(readInt(shown.type), 2);          // by index
  EXPECT_EQ(readInt(shown.subdivisions), 12);  // not answered: as shown
  EXPECT_EQ(readInt(shown.premultiply), 0);
  RawValue real = RawValue::Float(0.0);
  shown.minimum->ReadControlValue(shown.minimum, 4, real.Get());
  EXPECT_EQ(real.DoubleAt(8), -2.5);
  // A short buffer gets what fits, terminated.
  char little[4];
  RawValue small = RawValue::Text(little, 4);
  shown.saveDir->ReadControlValue(shown.saveDir, 4, small.Get());
  EXPECT_STREQ(little, "D:\\");
  EXPECT_EQ(host.scene().panelNotes, (std::vector<std::string>{"the panel has no control \"Nothing Here\""}));
}

TEST(Panel, AnswersThatFitNoItemAreNotedAndCancelReturnsZero) {
  refhost::HostSettings settings;
  settings.panel.values = {{"Color Format", "3"}, {"Subdivisions", "many"}, {"Premultiply Alpha", "maybe"}};
  settings.panel.cancel = true;
  refhost::ReferenceHost host(settings);
  kavri_test::HostServices services(host);
  char saveDir[300] = "";
  const ImportPanel shown = ShowPanel(*services.panel, saveDir);
  EXPECT_EQ(shown.result, 0);
  EXPECT_EQ(host.scene().panelNotes.size(), 3u);
  EXPECT_EQ(host.scene().panels[0]->result, 0);
}

TEST(Panel, UnknownPanelsAndControlsAreRefusedSafely) {
  refhost::ReferenceHost host(refhost::HostSettings{});
  kavri_test::HostServices services(host);
  ControlDescription description{};
  description.kind = 2;
  EXPECT_EQ(services.panel->AddControl(nullptr, "NumControl", &description, "x"), nullptr);
  EXPECT_EQ(services.panel->RunPanel(reinterpret_cast<HostPanel>(0x1234), 3), 0);
  HostPanel panel = services.panel->MakePanel("t", nullptr);
  EXPECT_EQ(services.panel->AddControl(panel, "NumControl", nullptr, "x"), nullptr);
  ControlRecord* control = services.panel->AddControl(panel, "NumControl", &description, "n");
  ASSERT_NE(control, nullptr);
  ControlRecord forged = *control;
  RawValue value = RawValue::Integer(5);
  control->WriteControlValue(&forged, 4, value.Get());
  control->WriteControlValue(control, 4, nullptr);
  services.panel->DestroyPanel(panel);
  control->WriteControlValue(control, 4, value.Get());  // its panel is gone
  EXPECT_EQ(host.scene().panels[0]->controls[0]->writes, 0);
  EXPECT_GE(host.scene().problems.size(), 4u);
}

}  // namespace
